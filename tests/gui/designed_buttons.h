#pragma once

#include <QPoint>
#include <QtGlobal>

#include <array>
#include <string_view>

namespace vx37::testing {

// The designed place of each of the 57 buttons of the table and the code it sends,
// written down from the layout and the button table, independently of the code's own
// inventory. left/top are relative to the container; origin is the container's place in
// the client area (twips).
struct DesignedButton
{
    const char* name;
    QPoint origin;
    int left;
    int top;
    int width;
    int height;
    const char* code;
    bool held;

    QPoint centre() const { return origin + QPoint(left + width / 2, top + height / 2); }
};

inline constexpr QPoint kWindow{0, 0};
inline constexpr QPoint kFrame1{120, 240};
inline constexpr QPoint kFrame2{1920, 240};
inline constexpr QPoint kFrame3{120, 1440};
inline constexpr QPoint kFrame4{1920, 1440};
inline constexpr QPoint kFrame7{3720, 1440};
inline constexpr QPoint kFrame6{5640, 1440};
inline constexpr QPoint kFrame5{7440, 1440};
inline constexpr QPoint kFrame8{3480, 3600};
inline constexpr QPoint kFrame13{3480 + 120, 3600 + 480};
inline constexpr QPoint kFrame9{45, 4920};
inline constexpr QPoint kFrame14{120, 6735};
inline constexpr QPoint kFrame15{120, 8040};

inline constexpr std::array<DesignedButton, 57> kDesignedButtons{{
    {"Command17", kFrame1, 120, 600, 615, 300, "C00", false},
    {"Command18", kFrame1, 960, 600, 615, 300, "C01", false},
    {"Command27", kFrame2, 240, 600, 855, 300, "C05", false},
    {"Command28", kFrame2, 1320, 600, 615, 300, "C06", false},
    {"Command29", kFrame2, 2280, 600, 735, 300, "C07", false},
    {"Command19", kFrame3, 120, 480, 615, 300, "C0B", false},
    {"Command20", kFrame3, 960, 480, 615, 300, "C0C", false},
    {"Command21", kFrame4, 120, 480, 615, 300, "C0D", false},
    {"Command22", kFrame4, 960, 480, 615, 300, "C0E", false},
    {"Command25", kFrame7, 120, 480, 615, 300, "C43", false},
    {"Command26", kFrame7, 960, 480, 615, 300, "C44", false},
    {"Command23", kFrame6, 120, 480, 615, 300, "C1C", false},
    {"Command24", kFrame6, 960, 480, 615, 300, "C1D", false},
    {"Command31", kFrame5, 120, 480, 855, 300, "C0F", false},
    {"Command32", kFrame5, 1080, 480, 615, 300, "C10", false},
    {"Command5", kWindow, 1200, 2520, 855, 375, "C3C", true},
    {"Command7", kWindow, 1200, 3480, 855, 375, "C3D", true},
    {"Command9", kWindow, 240, 3000, 855, 375, "C3B", true},
    {"Command8", kWindow, 2160, 3000, 855, 375, "C3A", true},
    {"Command6", kWindow, 1200, 3000, 855, 375, "C3F", true},
    {"Command1", kWindow, 3600, 2880, 375, 255, "C09", true},
    {"Command2", kWindow, 3600, 3240, 375, 255, "C0A", true},
    {"Command15", kWindow, 4800, 2880, 375, 255, "C20", true},
    {"Command35", kWindow, 4800, 3240, 375, 255, "C21", true},
    {"Command48", kWindow, 6480, 2880, 375, 255, "C30", true},
    {"Command49", kWindow, 6480, 3240, 375, 255, "C31", true},
    {"Command50", kWindow, 7440, 2880, 375, 255, "C8E", true},
    {"Command51", kWindow, 7440, 3240, 375, 255, "C8F", true},
    {"Command13", kWindow, 8400, 2760, 975, 250, "C89", false},
    {"Command30", kWindow, 8400, 3120, 975, 255, "C27", false},
    {"Command14", kWindow, 8400, 3360, 975, 250, "C8A", false},
    {"Command3", kWindow, 8400, 3600, 975, 492, "C1E", false},
    {"Command56", kWindow, 6600, 3960, 1200, 372, "CF KEYDIS NONE", false},
    {"Command57", kWindow, 6600, 4320, 606, 372, "CF KEYDIS RC", false},
    {"Command58", kWindow, 7200, 4320, 606, 372, "CF KEYDIS KEY", false},
    {"Command4", kWindow, 240, 4080, 975, 255, "C11", false},
    {"Command10", kWindow, 1200, 4080, 975, 255, "C12", false},
    {"Command11", kWindow, 2160, 4080, 975, 255, "C13", false},
    {"Command39", kWindow, 240, 4320, 975, 255, "C14", false},
    {"Command40", kWindow, 1200, 4320, 975, 255, "C15", false},
    {"Command41", kWindow, 2160, 4320, 975, 255, "C16", false},
    {"Command42", kWindow, 240, 4560, 975, 255, "C17", false},
    {"Command12", kWindow, 1200, 4560, 975, 255, "C18", false},
    {"Command36", kWindow, 2160, 4560, 975, 255, "C19", false},
    {"Command44", kWindow, 6480, 5640, 975, 255, "CR0", false},
    {"Command45", kWindow, 6480, 5880, 975, 255, "CR1", false},
    {"Command46", kWindow, 7440, 5640, 975, 255, "CR3", false},
    {"Command47", kWindow, 7440, 5880, 975, 255, "CR4", false},
    {"Command54", kWindow, 8400, 5640, 975, 252, "CR6", false},
    {"Command52", kWindow, 8400, 5880, 975, 255, "CR7", false},
    {"Command64", kFrame14, 960, 240, 975, 255, "CF INPUT1 ANALOG", false},
    {"Command72", kFrame14, 960, 480, 975, 255, "C25", false},
    {"Command74", kFrame14, 1920, 480, 1450, 255, "C24", false},
    {"Command73", kFrame14, 3360, 480, 975, 255, "C26", false},
    {"Command81", kFrame14, 960, 720, 975, 255, "C32", false},
    {"Command82", kFrame14, 1920, 720, 975, 255, "C33", false},
    {"Command69", kFrame14, 2880, 720, 1095, 255, "C34", false},
}};

// The other controls the tests touch.
inline constexpr QPoint kCommand16Centre{8400 + 487, 4320 + 187}; // "END"
inline constexpr QPoint kCommand33Centre{4080 + 907, 4200 + 187}; // "COM"
inline constexpr QPoint kCommand34Centre{6600 + 600, 5040 + 187}; // view button
inline constexpr QPoint kOption1Centre = kFrame8 + QPoint(240 + 607, 240 + 127);
inline constexpr QPoint kOption2Centre = kFrame8 + QPoint(1560 + 547, 240 + 127);
inline constexpr QPoint kOption9Centre = kFrame13 + QPoint(120 + 547, 240 + 127);
inline constexpr QPoint kOption10Centre = kFrame13 + QPoint(1440 + 487, 240 + 150);
inline constexpr QPoint kText1Centre = kFrame15 + QPoint(600 + 2527, 165 + 172);
inline constexpr QPoint kCommand95Centre = kFrame15 + QPoint(5760 + 367, 240 + 127); // "SEND"
inline constexpr QPoint kCommand96Centre = kFrame15 + QPoint(6480 + 307, 240 + 127); // "CLS"

// The designed button of that name; a test naming no designed button is a mistake.
inline const DesignedButton& designed(std::string_view name)
{
    for (const DesignedButton& button : kDesignedButtons)
        if (button.name == name)
            return button;
    qFatal("no designed button %.*s", int(name.size()), name.data());
}

} // namespace vx37::testing
