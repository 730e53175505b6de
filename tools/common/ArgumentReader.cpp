#include "ArgumentReader.h"

namespace vl {

void ArgumentReader::readAll(
    const std::vector<std::string>& arguments, DataOptions& data, CommandLineAnswers& answers, const ReadOwn& readOwn)
{
    ArgumentReader reader(arguments, answers.error);
    DataOptionParser dataOptions(data);
    for (; reader.m_index < arguments.size(); ++reader.m_index) {
        switch (dataOptions.parse(arguments, reader.m_index, answers.error)) {
        case DataOptionParser::Outcome::Taken:
            continue;
        case DataOptionParser::Outcome::Failed:
            return;
        case DataOptionParser::Outcome::NotDataOption:
            break;
        }
        const std::string& arg = reader.argument();
        if (arg == "--help")
            answers.help = true;
        else if (arg == "--version")
            answers.version = true;
        else if (!readOwn(reader))
            return;
    }
}

bool ArgumentReader::takeValueOnce(std::string& value, bool& given)
{
    const std::string& option = argument();
    if (m_index + 1 >= m_arguments.size())
        return refuse("option " + option + " needs a value");
    if (given)
        return refuse(option + " given twice");
    given = true;
    value = m_arguments[++m_index];
    return true;
}

bool ArgumentReader::takeValueOnce(std::optional<std::string>& value)
{
    bool given = value.has_value();
    std::string taken;
    if (!takeValueOnce(taken, given))
        return false;
    value = std::move(taken);
    return true;
}

bool ArgumentReader::refuse(std::string message)
{
    m_error = std::move(message);
    return false;
}

} // namespace vl
