#pragma once

#include "replies/reply_forms.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vx37 {

// Status decoders. Each reads the monitor text of the reply to its query (what was
// received since the query went out) and returns the new status line, or nullopt to
// leave it unchanged.

std::optional<std::string> decodeOperatingState(std::string_view shown);  // CR0
std::optional<std::string> decodeSelectedInput(std::string_view shown);   // CR1
std::optional<std::string> decodeLampHours(std::string_view shown);       // CR3
std::optional<std::string> decodePictureReversal(std::string_view shown); // CR4
std::optional<std::string> decodeTemperatures(std::string_view shown);    // CR6
std::optional<std::string> decodeLampMode(std::string_view shown);        // CR7
std::optional<std::string> decodeFreeText(std::string_view shown);        // CR9
std::optional<std::string> decodeMuteAndSignal(std::string_view shown);   // CRA

// CR PRESSURE. pressureValue takes the reading and then the value in hPa. A reading
// outside -6553..6553 (its product with 5 would leave 16 bits) shows
// kPressureOutOfRange and leaves pressureValue as it was.
std::optional<std::string> decodePressure(std::string_view shown, std::int16_t& pressureValue);
inline constexpr std::string_view kPressureOutOfRange = "Pressure reading out of range";

// A status query: its code, its decoder and the form of its answer.
struct StatusQuery
{
    std::string_view code;
    std::optional<std::string> (*decode)(std::string_view shown, std::int16_t& pressureValue);
    ReplyForm form;
    std::size_t keyCharacters = 0; // ReplyForm::TableKey: the reply characters of a key
};

// The nine status queries, in the order the dispatch compares them with lastFrame.
std::span<const StatusQuery> statusQueries();

} // namespace vx37
