#include "panel/form1.h"

#include "app/panel.h"
#include "app/panel_clicks.h"
#include "commands/button_table.h"
#include "panel/control_inventory.h"
#include "panel/entry_box.h"
#include "panel/monitor_line.h"
#include "panel/option_button.h"
#include "panel/panel_button.h"
#include "panel/panel_fonts.h"
#include "panel/picture.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPainter>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <functional>
#include <utility>
#include <vector>

namespace vx37 {

namespace {

int toPixels(int twips)
{
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QRect toPixels(const ControlSpec& item)
{
    return {toPixels(item.left), toPixels(item.top), toPixels(item.width), toPixels(item.height)};
}

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QColor colour(std::int32_t rgb)
{
    return rgb == kNoColour ? QColor() : QColor(QRgb(static_cast<std::uint32_t>(rgb)));
}

Qt::Alignment alignment(TextAlign align)
{
    switch (align) {
    case TextAlign::Centre:
        return Qt::AlignHCenter | Qt::AlignTop;
    case TextAlign::Right:
        return Qt::AlignRight | Qt::AlignTop;
    case TextAlign::Left:
        break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

// The icon with its 2x version, which a high-dpi screen draws instead of scaling up.
QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(artworkPixmap(QStringLiteral(":/vx37/icon.png")));
    icon.addPixmap(artworkPixmap(QStringLiteral(":/vx37/icon@2x.png")));
    return icon;
}

// Shows which of the two choices of a group is selected, or that neither is.
void showSelection(QButtonGroup* group, QAbstractButton* first, bool firstSelected,
                   QAbstractButton* second, bool secondSelected)
{
    if (firstSelected != secondSelected) {
        (firstSelected ? first : second)->setChecked(true);
        return;
    }
    group->setExclusive(false);
    first->setChecked(firstSelected);
    second->setChecked(secondSelected);
    group->setExclusive(true);
}

} // namespace

Form1::Form1(Panel& panel, QWidget* parent) : QWidget(parent), panel_(panel)
{
    installFontSubstitutes();
    setObjectName(QStringLiteral("Form1"));
    // The title bar offers the close box only.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(fromUtf8(kFormCaption));
    setWindowIcon(programIcon());
    QPalette background = palette();
    background.setColor(QPalette::Window, colour(kFormBackground));
    setPalette(background);
    setAutoFillBackground(true);
    setFont(panelFont(kFormFont));
    setFixedSize(toPixels(kClientWidth), toPixels(kClientHeight));

    createControls();
    connect(&panel_, &Panel::propertyChanged, this, &Form1::redraw);
    connect(&panel_, &Panel::warning, this, &Form1::showWarning);
    connect(&panel_, &Panel::ended, this, &QWidget::close);
    chainTabOrder();
    for (auto property :
         {FormProperty::Geometry, FormProperty::TxdLine, FormProperty::RxdLine,
          FormProperty::StatusLine, FormProperty::Frame8Visible, FormProperty::OptionSelection,
          FormProperty::Command34, FormProperty::Text1})
        redraw(property);

    // Lowest tab index of the controls that take the focus.
    control("Command17")->setFocus();
    qApp->installEventFilter(this);
}

Form1::~Form1()
{
    qApp->removeEventFilter(this);
}

void Form1::createControls()
{
    for (const ControlSpec& item : controlInventory()) {
        QWidget* container = item.container.empty() ? this : control(item.container);
        Q_ASSERT(container);
        const QString caption = fromUtf8(item.caption);
        QWidget* widget = nullptr;
        switch (item.kind) {
        case ControlKind::Frame: {
            auto* frame = new QFrame(container);
            frame->setFrameStyle(QFrame::Box | QFrame::Sunken); // etched
            widget = frame;
            break;
        }
        case ControlKind::Label: {
            if (item.border) {
                auto* line = new MonitorLine(container);
                if (item.name == "Label11")
                    label11_ = line;
                else if (item.name == "Label12")
                    label12_ = line;
                else if (item.name == "Label22")
                    label22_ = line;
                widget = line;
                break;
            }
            auto* label = new QLabel(caption, container);
            label->setTextFormat(Qt::PlainText);
            label->setAlignment(alignment(item.align));
            widget = label;
            break;
        }
        case ControlKind::Button: {
            auto* button = new PanelButton(caption, colour(item.back), container);
            button->setFocusPolicy(Qt::StrongFocus);
            widget = button;
            break;
        }
        case ControlKind::Option: {
            auto* option = new OptionButton(caption, container);
            option->setFocusPolicy(Qt::StrongFocus);
            // Exclusive within the direct container only: the toolkit's own grouping
            // would take in the options of a frame nested inside as well.
            QButtonGroup*& group = optionGroups_[container];
            if (!group)
                group = new QButtonGroup(container);
            group->addButton(option);
            widget = option;
            break;
        }
        case ControlKind::TextBox: {
            text1_ = new EntryBox(container);
            widget = text1_;
            break;
        }
        case ControlKind::Picture: {
            auto* picture = new Picture(container);
            picture->setArtwork(QStringLiteral(":/vx37/logo.png"),
                                QStringLiteral(":/vx37/logo@2x.png"));
            picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            widget = picture;
            break;
        }
        }

        widget->setObjectName(fromUtf8(item.name));
        if (const std::string_view spoken = spokenName(item.name); !spoken.empty())
            widget->setAccessibleName(fromUtf8(spoken));
        widget->setGeometry(toPixels(item));
        if (item.font != FontKey::Panel)
            widget->setFont(panelFont(item.font));
        // Frames and option buttons fill their area, in the window's colour unless they
        // have their own, so nothing beneath them shows through ("COM" under the port
        // option frame).
        const bool opaque = item.kind == ControlKind::Frame || item.kind == ControlKind::Option;
        if (item.kind != ControlKind::Button && (item.back != kNoColour || opaque)) {
            QPalette fill = widget->palette();
            fill.setColor(QPalette::Window,
                          colour(item.back != kNoColour ? item.back : kFormBackground));
            widget->setPalette(fill);
            widget->setBackgroundRole(QPalette::Window); // a button's own role is its face
            widget->setAutoFillBackground(true);
        }
        if (item.text != kNoColour) {
            QPalette ink = widget->palette();
            ink.setColor(QPalette::WindowText, colour(item.text));
            widget->setPalette(ink);
        }
        widget->setVisible(item.visibleAtStart);
        controls_.emplace(item.name, widget);
        connectControl(item.name, widget);
    }

    frame8_ = control("Frame8");
    option1_ = qobject_cast<QRadioButton*>(control("Option1"));
    option2_ = qobject_cast<QRadioButton*>(control("Option2"));
    option9_ = qobject_cast<QRadioButton*>(control("Option9"));
    option10_ = qobject_cast<QRadioButton*>(control("Option10"));
    command34_ = qobject_cast<PanelButton*>(control("Command34"));
}

void Form1::connectButton(PanelButton* button, const ButtonRow& row)
{
    if (row.kind == ButtonKind::H) {
        // Held buttons act on the mouse only; Space or Enter on them sends nothing.
        connect(button, &PanelButton::mouseDown, this,
                [this, &row] { panel_.Command_MouseDown(row); });
        connect(button, &PanelButton::mouseUp, this, [this, &row] { panel_.Command_MouseUp(row); });
    } else {
        connect(button, &QPushButton::clicked, this, [this, &row] { panel_.Command_Click(row); });
    }
}

void Form1::connectControl(std::string_view name, QWidget* widget)
{
    if (const ButtonRow* row = findButton(name)) {
        connectButton(qobject_cast<PanelButton*>(widget), *row);
        return;
    }
    if (const PanelHandler handler = clickHandler(name)) {
        // The panel itself is captured, not this: GCC 12 with the undefined-behaviour
        // sanitizer miscompiles a member-pointer call through a nested `this` capture.
        connect(qobject_cast<QAbstractButton*>(widget), &QAbstractButton::clicked, this,
                [panel = &panel_, handler] { std::invoke(handler, panel); });
        return;
    }
    if (widget == text1_)
        connect(text1_, &QLineEdit::textChanged, this,
                [this](const QString& text) { panel_.setText1(text); });
    else if (name == "Image1")
        connect(qobject_cast<Picture*>(widget), &Picture::doubleClicked, this,
                [this] { panel_.Image1_DblClick(); });
}

void Form1::chainTabOrder()
{
    std::vector<std::pair<int, QWidget*>> order;
    for (const ControlSpec& item : controlInventory())
        if (QWidget* widget = control(item.name); widget && item.tabIndex >= 0)
            order.emplace_back(item.tabIndex, widget);
    std::sort(order.begin(), order.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1].second, order[i].second);
}

QWidget* Form1::control(std::string_view name) const
{
    const auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

void Form1::redraw(FormProperty property)
{
    const FormState& form = panel_.form();
    switch (property) {
    case FormProperty::Geometry:
        applyGeometry();
        break;
    case FormProperty::TxdLine:
        label11_->setText(form.txdLine);
        break;
    case FormProperty::RxdLine:
        label12_->setText(form.rxdLine);
        break;
    case FormProperty::StatusLine:
        label22_->setText(form.statusLine);
        break;
    case FormProperty::Frame8Visible:
        option1_->setToolTip(form.portDescriptions[0]);
        option2_->setToolTip(form.portDescriptions[1]);
        frame8_->setVisible(form.frame8Visible);
        break;
    case FormProperty::OptionSelection:
        showSelection(option1_->group(), option1_, form.option1Selected, option2_,
                      form.option2Selected);
        showSelection(option9_->group(), option9_, form.option9Selected, option10_,
                      form.option10Selected);
        break;
    case FormProperty::Command34:
        command34_->setText(form.command34Caption);
        command34_->setAccessibleName(fromUtf8(spokenCaption(form.command34Caption.toStdString())));
        command34_->setVisible(form.command34Visible);
        break;
    case FormProperty::Text1:
        if (text1_->text() != form.text1)
            text1_->setText(form.text1);
        break;
    }
}

QMargins Form1::frame() const
{
    if (const QWindow* window = windowHandle()) {
        const QMargins reported = window->frameMargins();
        if (!reported.isNull())
            return reported;
    }
    return assumedFrame_;
}

void Form1::setAssumedFrame(const QMargins& frame)
{
    assumedFrame_ = frame;
    applyGeometry();
}

ScreenMetrics Form1::screenMetrics() const
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    const QMargins border = frame();
    return {area.width() * kTwipsPerPixel, area.height() * kTwipsPerPixel,
            kClientWidth + (border.left() + border.right()) * kTwipsPerPixel,
            kClientHeight + (border.top() + border.bottom()) * kTwipsPerPixel};
}

void Form1::load()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        screenOrigin_ = screen->geometry().topLeft();
    panel_.Form_Load(screenMetrics());
}

void Form1::applyGeometry()
{
    const FormState& form = panel_.form();
    if (form.height <= 0)
        return; // not placed yet: the window keeps its designed size
    // Placed once by start-up; the operator may move the window later, and a change of
    // view must not put it back.
    const QPoint placement(form.left, form.top);
    if (placedAt_ != placement) {
        placedAt_ = placement;
        move(screenOrigin_ + QPoint(toPixels(form.left), toPixels(form.top)));
    }
    appliedFrame_ = frame();
    const int clientHeight = toPixels(form.height) - appliedFrame_.top() - appliedFrame_.bottom();
    setFixedSize(toPixels(kClientWidth), std::max(clientHeight, 1));
}

bool Form1::event(QEvent* event)
{
    const bool handled = QWidget::event(event);
    switch (event->type()) {
    case QEvent::Show:
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WinIdChange:
        // The platform tells the frame only once the window is shown, and a window
        // manager may change it later: the outer height stays, the client area follows.
        if (frame() != appliedFrame_)
            applyGeometry();
        break;
    default:
        break;
    }
    return handled;
}

bool Form1::isFirstReceiver(const QWidget* widget) const
{
    // A key the focused control ignores travels on to its parents; the preview sees it
    // once, where it first arrives.
    const QWidget* focus = QApplication::focusWidget();
    return !(focus && widget != focus && widget->isAncestorOf(focus));
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this)
        return false;

    switch (event->type()) {
    case QEvent::KeyPress:
        if (isFirstReceiver(widget)) {
            const auto* key = static_cast<QKeyEvent*>(event);
            panel_.Form_KeyDown(key->key(), key->modifiers());
        }
        break;
    case QEvent::MouseMove:
        // A move with no button down while a button is held: its release went elsewhere.
        if (static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            releaseLostHold();
        break;
    case QEvent::Hide:
        if (const ButtonRow* held = panel_.heldButton()) {
            const QWidget* button = control(held->control);
            if (widget == button || widget->isAncestorOf(button))
                releaseLostHold();
        }
        break;
    default:
        break;
    }
    return false; // the key, the move and the hiding go on as usual
}

void Form1::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && !isActiveWindow())
        releaseLostHold();
    QWidget::changeEvent(event);
}

void Form1::releaseLostHold()
{
    const ButtonRow* held = panel_.heldButton();
    if (!held)
        return;
    if (auto* button = qobject_cast<PanelButton*>(control(held->control)))
        button->setDown(false);
    panel_.Command_MouseUp(*held);
}

void Form1::showWarning(const QString& text)
{
    // The box takes the pointer: a button held now would never see its release.
    releaseLostHold();
    QMessageBox box(QMessageBox::Warning, kWarningCaption, text, QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("warningBox"));
    // Some warnings give a command line to copy.
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

void Form1::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    QPen pen(colour(kOutlineColour), kOutlinePixels, Qt::SolidLine, Qt::SquareCap);
    p.setPen(pen);
    for (const LineSpec& line : arrowOutline())
        p.drawLine(toPixels(line.x1), toPixels(line.y1), toPixels(line.x2), toPixels(line.y2));
}

void Form1::closeEvent(QCloseEvent* event)
{
    releaseLostHold();
    panel_.Form_Unload();
    event->accept();
}

} // namespace vx37
