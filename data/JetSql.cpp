#include "JetSql.h"

#include "SqliteProvider_p.h"

#include "DateTimeFormat.h"
#include "Exceptions.h"
#include "Text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <numeric>

namespace vl::jetsql
{
namespace
{

enum class Category { Number, Currency, Date, Boolean, Text, Bytes };

Category categoryOf(int adoType)
{
    switch (adoType) {
    case adBoolean:
        return Category::Boolean;
    case adCurrency:
    case adNumeric:
    case adDecimal:
    case adVarNumeric:
        return Category::Currency;
    case adDate:
    case adDBDate:
    case adDBTime:
    case adDBTimeStamp:
        return Category::Date;
    case adBinary:
    case adVarBinary:
    case adLongVarBinary:
        return Category::Bytes;
    case adVarWChar:
    case adWChar:
    case adLongVarWChar:
    case adBSTR:
    case adChar:
    case adVarChar:
    case adLongVarChar:
    case adGUID:
        return Category::Text;
    default:
        return Category::Number;
    }
}

double numberOf(const ProviderCell& cell)
{
    switch (cell.kind) {
    case ProviderCell::Kind::Integer:
        return static_cast<double>(cell.integer);
    case ProviderCell::Kind::Currency:
        return static_cast<double>(cell.integer) / 10000.0;
    case ProviderCell::Kind::Float:
    case ProviderCell::Kind::Date:
        return cell.real;
    default:
        return 0;
    }
}

// Text compared without regard to case: the upper-case form, compared by code point.
std::u16string foldedText(std::string_view utf8)
{
    return utf8ToUtf16(upperCase(utf8, "UTF-8"));
}

template <typename T> int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareCells(const ProviderCell& a, const ProviderCell& b, Category category)
{
    switch (category) {
    case Category::Currency:
        if (a.kind == ProviderCell::Kind::Currency && b.kind == ProviderCell::Kind::Currency)
            return threeWay(a.integer, b.integer);
        return threeWay(numberOf(a), numberOf(b));
    case Category::Number:
    case Category::Boolean:
    case Category::Date:
        if (a.kind == ProviderCell::Kind::Integer && b.kind == ProviderCell::Kind::Integer)
            return threeWay(a.integer, b.integer);
        return threeWay(numberOf(a), numberOf(b));
    case Category::Text:
        return threeWay(foldedText(a.bytes), foldedText(b.bytes));
    case Category::Bytes:
        return threeWay(a.bytes, b.bytes);
    }
    return 0;
}

[[noreturn]] void commandError(const std::string& message, std::size_t position)
{
    providerError(format("%s at position %zu.", message.c_str(), position), DB_E_ERRORSINCOMMAND);
}

// A literal converted to a cell of the column's kind (texts kept in storage).
struct BoundLiteral {
    ProviderCell cell;
    std::string storage;
};

BoundLiteral bindLiteral(const Literal& literal, const ProviderColumn& column, Category category)
{
    BoundLiteral bound;
    auto mismatch = [&]() -> BoundLiteral {
        commandError(format("Data type mismatch in criteria expression: column '%s' cannot be compared with this value",
                         column.name.c_str()),
            literal.position);
    };
    switch (category) {
    case Category::Number:
    case Category::Currency: {
        if (literal.kind == Literal::Kind::Boolean) {
            bound.cell.kind = ProviderCell::Kind::Integer;
            bound.cell.integer = literal.flag ? -1 : 0;
            return bound;
        }
        if (literal.kind != Literal::Kind::Number)
            return mismatch();
        if (category == Category::Currency) {
            auto value = parseCurrencyText(literal.text);
            if (!value)
                return mismatch();
            bound.cell.kind = ProviderCell::Kind::Currency;
            bound.cell.integer = *value;
            return bound;
        }
        int64_t integer = 0;
        const char* begin = literal.text.data();
        const char* end = begin + literal.text.size();
        auto [stop, ec] = std::from_chars(begin, end, integer);
        if (ec == std::errc() && stop == end) {
            bound.cell.kind = ProviderCell::Kind::Integer;
            bound.cell.integer = integer;
        } else {
            bound.cell.kind = ProviderCell::Kind::Float;
            bound.cell.real = std::strtod(literal.text.c_str(), nullptr);
        }
        return bound;
    }
    case Category::Date:
        bound.cell.kind = ProviderCell::Kind::Date;
        if (literal.kind == Literal::Kind::Date) {
            bound.cell.real = literal.date;
        } else if (literal.kind == Literal::Kind::Text) {
            auto day = parseDateLiteral(literal.text);
            if (!day)
                return mismatch();
            bound.cell.real = *day;
        } else if (literal.kind == Literal::Kind::Number) {
            bound.cell.real = std::strtod(literal.text.c_str(), nullptr);
        } else {
            return mismatch();
        }
        return bound;
    case Category::Boolean:
        bound.cell.kind = ProviderCell::Kind::Integer;
        if (literal.kind == Literal::Kind::Boolean)
            bound.cell.integer = literal.flag ? -1 : 0;
        else if (literal.kind == Literal::Kind::Number)
            bound.cell.integer = std::strtod(literal.text.c_str(), nullptr) != 0 ? -1 : 0;
        else
            return mismatch();
        return bound;
    case Category::Text:
        if (literal.kind != Literal::Kind::Text)
            return mismatch();
        bound.storage = literal.text;
        bound.cell.kind = ProviderCell::Kind::Text;
        bound.cell.bytes = bound.storage;
        return bound;
    case Category::Bytes:
        return mismatch();
    }
    return bound;
}

// A condition with its columns and literals resolved against the table.
struct BoundCondition {
    Condition::Kind kind = Condition::Kind::Compare;
    Condition::Op op = Condition::Op::Equal;
    std::size_t column = 0;
    Category category = Category::Number;
    bool alwaysUnknown = false; // compared with NULL
    std::unique_ptr<BoundLiteral> literal;
    std::vector<std::unique_ptr<BoundCondition>> operands;
};

std::size_t findColumn(const ProviderResult& table, const Name& name)
{
    const auto& columns = table.columns();
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (sameText(columns[i].name, name.text, "UTF-8"))
            return i;
    commandError(format("No column '%s' in the table", name.text.c_str()), name.position);
}

std::unique_ptr<BoundCondition> bind(const Condition& condition, const ProviderResult& table)
{
    auto bound = std::make_unique<BoundCondition>();
    bound->kind = condition.kind;
    bound->op = condition.op;
    switch (condition.kind) {
    case Condition::Kind::And:
    case Condition::Kind::Or:
    case Condition::Kind::Not:
        bound->operands.reserve(condition.operands.size());
        for (const auto& operand : condition.operands)
            bound->operands.push_back(bind(*operand, table));
        break;
    case Condition::Kind::IsNull:
    case Condition::Kind::IsNotNull:
        bound->column = findColumn(table, condition.column);
        break;
    case Condition::Kind::Compare: {
        bound->column = findColumn(table, condition.column);
        const ProviderColumn& column = table.columns()[bound->column];
        bound->category = categoryOf(column.type);
        if (condition.literal.kind == Literal::Kind::Null) {
            bound->alwaysUnknown = true;
        } else {
            bound->literal = std::make_unique<BoundLiteral>(bindLiteral(condition.literal, column, bound->category));
            // The text view must point into the literal's final home, not the moved-from copy.
            if (bound->literal->cell.kind == ProviderCell::Kind::Text)
                bound->literal->cell.bytes = bound->literal->storage;
        }
        break;
    }
    }
    return bound;
}

// Three-valued logic: a comparison with a null is unknown, and only true rows are kept.
enum class Truth { False, True, Unknown };

Truth evaluate(const BoundCondition& condition, const ProviderResult& table, std::size_t row);

// And and Or: the decisive value (false for And, true for Or) wins over unknown, which wins over the
// other, so the operands are evaluated only until one is decisive.
Truth evaluateJunction(const BoundCondition& condition, const ProviderResult& table, std::size_t row, Truth decisive)
{
    Truth result = decisive == Truth::False ? Truth::True : Truth::False;
    for (const auto& operand : condition.operands) {
        const Truth t = evaluate(*operand, table, row);
        if (t == decisive)
            return decisive;
        if (t == Truth::Unknown)
            result = Truth::Unknown;
    }
    return result;
}

Truth evaluate(const BoundCondition& condition, const ProviderResult& table, std::size_t row)
{
    switch (condition.kind) {
    case Condition::Kind::And:
        return evaluateJunction(condition, table, row, Truth::False);
    case Condition::Kind::Or:
        return evaluateJunction(condition, table, row, Truth::True);
    case Condition::Kind::Not: {
        const Truth a = evaluate(*condition.operands.front(), table, row);
        return a == Truth::Unknown ? a : (a == Truth::True ? Truth::False : Truth::True);
    }
    case Condition::Kind::IsNull:
        return table.cell(row, condition.column).kind == ProviderCell::Kind::Null ? Truth::True : Truth::False;
    case Condition::Kind::IsNotNull:
        return table.cell(row, condition.column).kind != ProviderCell::Kind::Null ? Truth::True : Truth::False;
    case Condition::Kind::Compare: {
        const ProviderCell cell = table.cell(row, condition.column);
        if (condition.alwaysUnknown || cell.kind == ProviderCell::Kind::Null)
            return Truth::Unknown;
        ProviderCell value = cell;
        if (condition.category == Category::Boolean)
            value.integer = value.integer != 0 ? -1 : 0;
        const int c = compareCells(value, condition.literal->cell, condition.category);
        bool result = false;
        switch (condition.op) {
        case Condition::Op::Equal:
            result = c == 0;
            break;
        case Condition::Op::NotEqual:
            result = c != 0;
            break;
        case Condition::Op::Less:
            result = c < 0;
            break;
        case Condition::Op::LessEqual:
            result = c <= 0;
            break;
        case Condition::Op::Greater:
            result = c > 0;
            break;
        case Condition::Op::GreaterEqual:
            result = c >= 0;
            break;
        }
        return result ? Truth::True : Truth::False;
    }
    }
    return Truth::Unknown;
}

class SelectedResult final : public ProviderResult
{
public:
    SelectedResult(
        std::shared_ptr<const ProviderResult> base, std::vector<std::size_t> columns, std::vector<std::size_t> rows)
        : m_base(std::move(base))
        , m_columnMap(std::move(columns))
        , m_rows(std::move(rows))
    {
        for (std::size_t c : m_columnMap)
            m_columns.push_back(m_base->columns()[c]);
    }
    const std::vector<ProviderColumn>& columns() const override { return m_columns; }
    std::size_t rowCount() const override { return m_rows.size(); }
    ProviderCell cell(std::size_t row, std::size_t column) const override
    {
        return m_base->cell(m_rows[row], m_columnMap[column]);
    }

private:
    std::shared_ptr<const ProviderResult> m_base;
    std::vector<std::size_t> m_columnMap;
    std::vector<std::size_t> m_rows;
    std::vector<ProviderColumn> m_columns;
};

} // namespace

std::unique_ptr<ProviderResult> runSelect(const SelectStatement& statement, std::shared_ptr<const ProviderResult> table)
{
    std::vector<std::size_t> columns;
    if (statement.allColumns) {
        columns.resize(table->columns().size());
        std::iota(columns.begin(), columns.end(), 0);
    } else {
        for (const Name& name : statement.columns)
            columns.push_back(findColumn(*table, name));
    }
    std::unique_ptr<BoundCondition> where;
    if (statement.where)
        where = bind(*statement.where, *table);
    struct Key {
        std::size_t column;
        Category category;
        bool descending;
    };
    std::vector<Key> keys;
    for (const OrderItem& item : statement.orderBy) {
        const std::size_t column = findColumn(*table, item.column);
        keys.push_back({ column, categoryOf(table->columns()[column].type), item.descending });
    }

    std::vector<std::size_t> rows;
    for (std::size_t row = 0; row < table->rowCount(); ++row)
        if (!where || evaluate(*where, *table, row) == Truth::True)
            rows.push_back(row);
    if (!keys.empty()) {
        // Folded texts once per row and key, not once per comparison.
        std::vector<std::vector<std::u16string>> folded(keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k)
            if (keys[k].category == Category::Text) {
                folded[k].resize(table->rowCount());
                for (std::size_t row : rows) {
                    const ProviderCell cell = table->cell(row, keys[k].column);
                    if (cell.kind != ProviderCell::Kind::Null)
                        folded[k][row] = foldedText(cell.bytes);
                }
            }
        std::stable_sort(rows.begin(), rows.end(), [&](std::size_t a, std::size_t b) {
            for (std::size_t k = 0; k < keys.size(); ++k) {
                const Key& key = keys[k];
                const ProviderCell x = table->cell(a, key.column);
                const ProviderCell y = table->cell(b, key.column);
                const bool xNull = x.kind == ProviderCell::Kind::Null, yNull = y.kind == ProviderCell::Kind::Null;
                int c;
                if (xNull || yNull)
                    c = xNull == yNull ? 0 : (xNull ? -1 : 1);
                else if (key.category == Category::Text)
                    c = threeWay(folded[k][a], folded[k][b]);
                else
                    c = compareCells(x, y, key.category);
                if (c != 0)
                    return key.descending ? c > 0 : c < 0;
            }
            return false;
        });
    }
    return std::make_unique<SelectedResult>(std::move(table), std::move(columns), std::move(rows));
}

} // namespace vl::jetsql
