// AskRequest: what hxask's command line asks for: the question's texts and options, read
// against what that question takes.
#ifndef HXCONSOLE_TOOLS_ASKREQUEST_H
#define HXCONSOLE_TOOLS_ASKREQUEST_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace hxask
{

// What a question takes on its command line.
struct Syntax {
    const char* name;
    std::vector<std::string> valueOptions; // options followed by a value
    std::vector<std::string> flags;
    size_t fewestOperands;
    size_t mostOperands;
};

const size_t kMany = static_cast<size_t>(-1);

// What came after the question's name: its operands and options.
struct Request {
    std::vector<std::string> operands;
    std::vector<std::pair<std::string, std::string>> values; // --min 1 as {"--min", "1"}
    bool confirm = false;
    bool number = false;

    // The option's last value, or nullptr when it was not given.
    const std::string* Value(const char* option) const;
    const char* Text(const char* option) const;
    const char* Operand(size_t i) const;

    // Reads the option's value, when given, as a whole number from `low` to `high` into
    // `value`. Returns what is wrong with it, or "".
    std::string Number(const char* option, long low, long high, int& value) const;
};

// Reads `args` (what follows the question's name) into `request`. Returns what is wrong with
// them, or "". An option's value may follow an '='; "--" ends the options.
std::string ParseRequest(const Syntax& syntax, const std::vector<std::string>& args,
                         Request& request);

// The argument that asks for help or the version, wherever it appears before "--", or nullptr.
const std::string* InformationAsked(const std::vector<std::string>& args);

} // namespace hxask

#endif
