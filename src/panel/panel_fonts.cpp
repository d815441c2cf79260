#include "panel/panel_fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include <cmath>

namespace vx37 {

namespace {

constexpr double kPointsPerInch = 72.0;
constexpr double kDesignDpi = 96.0;

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The face where the machine has it, else an installed substitute by its own name. Asked
// for a face it lacks, the toolkit first sorts every installed font for fallbacks (a few
// milliseconds per face at start-up) before it comes to the substitute.
QString installedFaceOrSubstitute(const QString& face)
{
    static const QStringList installed = QFontDatabase::families();
    if (installed.contains(face))
        return face;
    for (const QString& substitute : QFont::substitutes(face)) // kept in lower case
        for (const QString& family : installed)
            if (family.compare(substitute, Qt::CaseInsensitive) == 0)
                return family;
    return face;
}

} // namespace

void installFontSubstitutes()
{
    // Fixed-pitch face first, proportional second, as the font table names them.
    const QString gothic = fromUtf8(fontSpec(FontKey::G9).face);
    const QString pGothic = fromUtf8(fontSpec(FontKey::P9).face);
    QFont::insertSubstitution(gothic, QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(pGothic, QStringLiteral("IPAPGothic"));
}

QFont panelFont(FontKey key)
{
    const FontSpec& item = fontSpec(key);
    QFont font(installedFaceOrSubstitute(fromUtf8(item.face)));
    font.setPixelSize(static_cast<int>(std::lround(item.points * kDesignDpi / kPointsPerInch)));
    font.setBold(item.bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace vx37
