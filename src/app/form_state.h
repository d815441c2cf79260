#pragma once

#include <QString>

#include <array>
#include <string>
#include <string_view>

namespace vx37 {

// Window geometry in twips (1/1440 inch, 15 twips to a pixel at 96 dpi). Heights are
// outer heights: caption bar and borders included.
inline constexpr int kClientWidth = 9495;
inline constexpr int kClientHeight = 8730;
inline constexpr int kCompactHeight = 5350;
inline constexpr int kDataHeight = 6645;
inline constexpr int kServiceHeight = 7200;
inline constexpr int kFullHeight = 9100;
inline constexpr int kViewToggleThreshold = 6000;
inline constexpr int kTwipsPerPixel = 15;

// The texts the window shows that the panel rewrites at run time.
inline const QString kCaptionShowData = QStringLiteral("データを表示する");
inline const QString kCaptionHideData = QStringLiteral("データを表示しない");
inline const QString kCaptionClose = QStringLiteral("CLOSE");
inline const QString kWarningCaption = QStringLiteral("VX37RSC");
inline constexpr std::string_view kNoReplyMark = " X X X X";

// The screen and window sizes start-up centres the window with, in twips.
struct ScreenMetrics
{
    int screenWidth = 0;
    int screenHeight = 0;
    int outerWidth = 0;  // the window as designed, border and caption bar included
    int outerHeight = 0;
};

// The window's properties that change at run time; everything else stays as designed.
// The window draws these and nothing else.
struct FormState
{
    int left = 0;
    int top = 0;
    int height = 0; // outer height in twips; 0 until start-up places the window
    std::string txdLine;
    std::string rxdLine;
    std::string statusLine;
    bool frame8Visible = false;
    // What the port choices COM1 and COM2 stand for, listed when Frame8 is shown.
    std::array<QString, 2> portDescriptions;
    bool option1Selected = false;
    bool option2Selected = false;
    bool option9Selected = true;
    bool option10Selected = false;
    bool command34Visible = false;
    QString command34Caption = kCaptionShowData;
    QString text1;
};

// Which part of FormState a change notification is about.
enum class FormProperty {
    Geometry,
    TxdLine,
    RxdLine,
    StatusLine,
    Frame8Visible,
    OptionSelection,
    Command34,
    Text1,
};

} // namespace vx37
