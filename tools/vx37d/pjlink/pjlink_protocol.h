#pragma once

// PJLink class 1 on the wire: the greeting, the authentication digest and the command
// lines, kept free of sockets so that each rule is checked on its own.

#include <optional>
#include <string>
#include <string_view>

namespace vx37::pjlink {

inline constexpr int kPort = 4352;
// A command line: "%1", four letters, a blank and a parameter of up to 128 bytes, then CR.
inline constexpr std::size_t kLongestCommand = 136;
inline constexpr std::size_t kDigestLength = 32;
// A password of up to 32 bytes.
inline constexpr std::size_t kLongestPassword = 32;

// One command line, without its CR.
struct Command
{
    std::string header;    // "%1"
    std::string body;      // "POWR"
    std::string parameter; // "1", "?"; empty when the line has no blank after the body
    // Something other than a blank after the body, or a byte that is not printable ASCII
    // in the parameter: the command is known by its header and body, its parameter is not.
    bool badParameter = false;

    // The answer line, without its CR: "%1POWR=OK".
    std::string answer(std::string_view value) const
    {
        return header + body + '=' + std::string(value);
    }
};

// A line that begins as a PJLink command ('%', a class digit, four letters or digits), or
// nullopt for anything else: what is echoed in an answer's header is always printable.
std::optional<Command> parseCommand(std::string_view line);

// What the server says first: "PJLINK 0" without a password, "PJLINK 1 <random>" with one.
std::string greeting(std::string_view random);

// The lowercase hex MD5 of the random number followed by the password.
std::string authDigest(std::string_view random, std::string_view password);

// Whether a digest sent by a client is the one expected, in a time that does not depend on
// where they differ; upper-case hex is taken too.
bool digestMatches(std::string_view sent, std::string_view expected);

// One client's bytes made into lines, its login checked, free of sockets: what the server
// does with each byte it reads.
class ClientLines
{
public:
    // random: the one of the greeting; empty without a password.
    ClientLines(std::string random, std::string_view password);

    struct Step
    {
        enum class Kind {
            More, // nothing to do yet
            Ask,  // answer the command
            Deny, // a wrong or missing digest: "PJLINK ERRA", then close
            Drop, // close at once: a line too long or not a command, never echoed
        };
        Kind kind = Kind::More;
        Command command;  // Ask
        std::string line; // Ask: the command line; Drop: why, for the log
    };
    Step take(char c);

    // Logged in, or without a password, a command taken.
    bool started() const { return started_; }
    const std::string& random() const { return random_; }

private:
    std::string random_;
    std::string digest_; // expected before the first command; empty once logged in
    std::string partial_;
    bool started_ = false;
};

// Bytes as a log line shows them: printable ASCII as it is, anything else as \xNN.
std::string printable(std::string_view bytes);

} // namespace vx37::pjlink
