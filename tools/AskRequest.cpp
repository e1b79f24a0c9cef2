#include "AskRequest.h"

#include "AnswerCheck.h"
#include "ToolCommon.h"

namespace hxask
{

namespace
{

bool Lists(const std::vector<std::string>& names, const std::string& name)
{
    for (const std::string& candidate : names)
        if (candidate == name)
            return true;
    return false;
}

// Takes one option at args[i] (and its value, which may be the next argument or follow an
// '='), advancing i past what it used.
std::string TakeOption(const Syntax& syntax, const std::vector<std::string>& args, size_t& i,
                       Request& request)
{
    std::string option = args[i];
    std::string value;
    size_t equals = option.find('=');
    bool inlineValue = equals != std::string::npos;
    if (inlineValue) {
        value = option.substr(equals + 1);
        option.erase(equals);
    }

    if (Lists(syntax.flags, option) && !inlineValue) {
        request.confirm = request.confirm || option == "--confirm";
        request.number = request.number || option == "--number";
        return "";
    }
    if (!Lists(syntax.valueOptions, option))
        return "unknown option '" + args[i] + "' for " + syntax.name;
    if (!inlineValue) {
        if (i + 1 >= args.size())
            return option + " needs a value";
        value = args[++i];
    }
    request.values.emplace_back(option, value);
    return "";
}

} // namespace

const std::string* Request::Value(const char* option) const
{
    const std::string* last = nullptr;
    for (const auto& [name, value] : values)
        if (name == option)
            last = &value;
    return last;
}

const char* Request::Text(const char* option) const
{
    const std::string* value = Value(option);
    return value == nullptr ? nullptr : value->c_str();
}

const char* Request::Operand(size_t i) const
{
    return i < operands.size() ? operands[i].c_str() : nullptr;
}

std::string Request::Number(const char* option, long low, long high, int& value) const
{
    const std::string* text = Value(option);
    long long number = 0;
    if (text == nullptr)
        return "";
    if (WholeNumber(*text, number) && number >= low && number <= high) {
        value = static_cast<int>(number);
        return "";
    }
    return std::string(option) + " takes a whole number from " + std::to_string(low) + " to " +
           std::to_string(high) + ", not '" + *text + "'";
}

std::string ParseRequest(const Syntax& syntax, const std::vector<std::string>& args,
                         Request& request)
{
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            std::string problem = TakeOption(syntax, args, i, request);
            if (!problem.empty())
                return problem;
        } else {
            request.operands.push_back(arg);
        }
    }

    size_t count = request.operands.size();
    if (count < syntax.fewestOperands)
        return std::string(syntax.name) +
               (syntax.mostOperands == 1 ? " needs a PROMPT" : " needs an ITEM");
    if (count > syntax.mostOperands)
        return std::string(syntax.name) + " takes one text at most; quote a text that holds blanks";
    return "";
}

const std::string* InformationAsked(const std::vector<std::string>& args)
{
    for (const std::string& arg : args) {
        if (arg == "--")
            return nullptr;
        if (hxtool::IsInformation(arg))
            return &arg;
    }
    return nullptr;
}

} // namespace hxask
