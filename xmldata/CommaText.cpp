#include "CommaText.h"

namespace vl {
namespace {

bool isSeparatorControl(char c)
{
    const auto code = static_cast<unsigned char>(c);
    return code >= 1 && code <= 32;
}

} // namespace

std::vector<std::string> splitCommaText(std::string_view text)
{
    std::vector<std::string> items;
    const size_t n = text.size();
    size_t pos = 0;
    auto skipControls = [&] {
        while (pos < n && isSeparatorControl(text[pos]))
            ++pos;
    };
    skipControls();
    while (pos < n) {
        std::string item;
        if (text[pos] == '"') {
            ++pos;
            while (pos < n) {
                if (text[pos] == '"') {
                    if (pos + 1 < n && text[pos + 1] == '"') {
                        item.push_back('"');
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    break;
                }
                item.push_back(text[pos++]);
            }
        } else {
            const size_t start = pos;
            while (pos < n && text[pos] != ',' && !isSeparatorControl(text[pos]))
                ++pos;
            item.assign(text.substr(start, pos - start));
        }
        items.push_back(std::move(item));
        skipControls();
        if (pos < n && text[pos] == ',') {
            if (pos == n - 1)
                items.emplace_back();
            ++pos;
            skipControls();
        }
    }
    return items;
}

std::vector<std::string> splitFieldList(std::string_view fieldList)
{
    std::string compact;
    compact.reserve(fieldList.size());
    for (char c : fieldList)
        if (c != ' ')
            compact.push_back(c);
    return splitCommaText(compact);
}

std::string_view relationNamePart(std::string_view item)
{
    const size_t equals = item.find('=');
    return equals == std::string_view::npos ? std::string_view() : item.substr(0, equals);
}

std::string_view relationValuePart(std::string_view item)
{
    const size_t start = relationNamePart(item).size() + 1;
    return start >= item.size() ? std::string_view() : item.substr(start);
}

} // namespace vl
