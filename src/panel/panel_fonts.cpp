#include "panel/panel_fonts.h"

#include <QString>

#include <cmath>

namespace vx37 {

namespace {

constexpr double kPointsPerInch = 72.0;
constexpr double kDesignDpi = 96.0;

QString fromUtf8(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
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
    QFont font(fromUtf8(item.face));
    font.setPixelSize(static_cast<int>(std::lround(item.points * kDesignDpi / kPointsPerInch)));
    font.setBold(item.bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

} // namespace vx37
