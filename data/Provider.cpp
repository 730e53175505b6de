#include "Provider.h"

#include "AsciiText_p.h"

#include "Exceptions.h"
#include "OdbcProvider.h"
#include "Text.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <map>

namespace vl {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trim(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

struct Registry {
    std::vector<std::pair<std::string, ProviderFactory>> providers;
    Registry()
    {
        providers.emplace_back(JetProviderName, openJetProvider);
        providers.emplace_back(OdbcProviderName, openOdbcProvider);
        providers.emplace_back("MSDASQL.1", openOdbcProvider);
    }
    auto find(std::string_view name)
    {
        for (auto it = providers.begin(); it != providers.end(); ++it)
            if (sameAscii(it->first, name))
                return it;
        return providers.end();
    }
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

ConnectionStringParseResult parseConnectionString(std::string_view text)
{
    ConnectionStringParseResult result;
    std::size_t pos = 0;
    auto fail = [&](std::string message, std::size_t at) {
        result.items.clear();
        result.message = std::move(message);
        result.position = at + 1;
        return result;
    };
    while (pos < text.size()) {
        std::size_t itemStart = pos;
        std::size_t equals = text.find('=', pos);
        std::size_t semicolon = text.find(';', pos);
        if (equals == std::string_view::npos || (semicolon != std::string_view::npos && semicolon < equals)) {
            std::string_view rest = trim(text.substr(pos, semicolon == std::string_view::npos ? text.npos : semicolon - pos));
            if (!rest.empty())
                return fail("Item without \"=\" in the connection string", itemStart);
            pos = semicolon == std::string_view::npos ? text.size() : semicolon + 1;
            continue;
        }
        std::string_view name = trim(text.substr(pos, equals - pos));
        if (name.empty())
            return fail("Item without a name in the connection string", itemStart);
        pos = equals + 1;
        while (pos < text.size() && isBlank(text[pos]))
            ++pos;
        std::string value;
        if (pos < text.size() && (text[pos] == '"' || text[pos] == '\'')) {
            char quote = text[pos];
            std::size_t quoteAt = pos++;
            bool closed = false;
            while (pos < text.size()) {
                if (text[pos] == quote) {
                    if (pos + 1 < text.size() && text[pos + 1] == quote) {
                        value += quote;
                        pos += 2;
                        continue;
                    }
                    ++pos;
                    closed = true;
                    break;
                }
                value += text[pos++];
            }
            if (!closed)
                return fail("Unterminated quoted value in the connection string", quoteAt);
            while (pos < text.size() && isBlank(text[pos]))
                ++pos;
            if (pos < text.size() && text[pos] != ';')
                return fail("Text after a quoted value in the connection string", pos);
        } else {
            std::size_t end = text.find(';', pos);
            if (end == std::string_view::npos)
                end = text.size();
            value = std::string(trim(text.substr(pos, end - pos)));
            pos = end;
        }
        if (pos < text.size())
            ++pos; // the ";"
        bool replaced = false;
        for (auto& item : result.items)
            if (sameAscii(item.name, name)) {
                item.value = value;
                replaced = true;
            }
        if (!replaced)
            result.items.push_back({std::string(name), std::move(value)});
    }
    return result;
}

std::optional<std::string> connectionItem(const std::vector<ConnectionItem>& items, std::string_view name)
{
    for (const auto& item : items)
        if (sameAscii(item.name, name))
            return item.value;
    return std::nullopt;
}

void registerProvider(std::string_view name, ProviderFactory factory)
{
    auto& reg = registry();
    auto it = reg.find(name);
    if (it != reg.providers.end())
        it->second = std::move(factory);
    else
        reg.providers.emplace_back(std::string(name), std::move(factory));
}

void unregisterProvider(std::string_view name)
{
    auto& reg = registry();
    auto it = reg.find(name);
    if (it != reg.providers.end())
        reg.providers.erase(it);
}

std::unique_ptr<ProviderConnection> openProviderConnection(std::string_view connectionString)
{
    ConnectionStringParseResult parsed = parseConnectionString(connectionString);
    if (!parsed)
        providerError(format("%s at position %zu.", parsed.message.c_str(), parsed.position), E_PROVIDER_FAIL);
    std::optional<std::string> name = connectionItem(parsed.items, "Provider");
    if (!name || name->empty())
        providerError("The connection string names no provider.", ADO_E_PROVIDER_NOT_FOUND);
    auto& reg = registry();
    auto it = reg.find(*name);
    if (it == reg.providers.end())
        providerError(format("Provider '%s' cannot be found. It may not be properly installed.", name->c_str()),
            ADO_E_PROVIDER_NOT_FOUND);
    // Copy: a factory may register providers itself.
    ProviderFactory factory = it->second;
    return factory(parsed.items);
}

std::optional<IntegerRange> integerRange(int adoType)
{
    switch (adoType) {
    case adTinyInt: return IntegerRange { INT8_MIN, INT8_MAX };
    case adUnsignedTinyInt: return IntegerRange { 0, UINT8_MAX };
    case adSmallInt: return IntegerRange { INT16_MIN, INT16_MAX };
    case adUnsignedSmallInt: return IntegerRange { 0, UINT16_MAX };
    case adInteger: return IntegerRange { INT32_MIN, INT32_MAX };
    case adUnsignedInt: return IntegerRange { 0, UINT32_MAX };
    case adBigInt: return IntegerRange { INT64_MIN, INT64_MAX };
    case adUnsignedBigInt: return IntegerRange { 0, INT64_MAX };
    default: return std::nullopt;
    }
}

void checkIntegerRange(const ProviderColumn& column, std::size_t row, int64_t value, std::string_view valueText)
{
    const std::optional<IntegerRange> range = integerRange(column.type);
    if (!range || (value >= range->low && value <= range->high))
        return;
    if (valueText.empty())
        valueOutOfRange(column, row, std::to_string(value));
    valueOutOfRange(column, row, valueText);
}

void valueOutOfRange(const ProviderColumn& column, std::size_t row, std::string_view valueText)
{
    const IntegerRange range = integerRange(column.type).value_or(IntegerRange { INT64_MIN, INT64_MAX });
    providerError(format("The value %.*s in column '%s' of row %zu is out of the range of its type (%lld to %lld).",
                      static_cast<int>(valueText.size()), valueText.data(), column.name.c_str(), row + 1,
                      static_cast<long long>(range.low), static_cast<long long>(range.high)),
        E_PROVIDER_FAIL);
}

std::string shortestText(double value)
{
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    return std::string(buffer, end);
}

std::string cleanProviderMessage(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0) {
        unsigned char c = static_cast<unsigned char>(text[end - 1]);
        if (c <= ' ' || c == '.')
            --end;
        else
            break;
    }
    return std::string(text.substr(0, end));
}

void providerError(std::string_view text, int32_t errorCode)
{
    std::string message = cleanProviderMessage(text);
    if (message.empty())
        message = format("OLE error %.8x", static_cast<unsigned>(errorCode));
    throw EOleException(std::move(message), errorCode);
}

} // namespace vl
