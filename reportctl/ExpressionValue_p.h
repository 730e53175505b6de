#pragma once
// What the evaluator and the built-in functions share about values: reading text as a date, comparing two
// values, and following a growing text's chance of reading as a number.

#include "ReportExpression.h"

#include <QDateTime>
#include <QStringView>

#include <cstddef>

namespace vl {

// Dates as the data layer writes them: ISO, or the short date forms of the usual locales, with an
// optional time. Two-digit years below 50 are read as 20yy. Invalid for any other text, and for one
// longer than 64 characters once trimmed.
QDateTime parseDateTime(const QString& text);

// The date of a value: a DateTime as it is, a Text read by parseDateTime; invalid for anything else.
QDateTime dateOf(const ExprValue& value);

// Negative, zero or positive as `left` is below, equal to or above `right`: as numbers when both read as
// numbers, as dates when one is a date and the other a date or text that reads as one, otherwise as text
// by code points with case counting. `unordered` is set when a side is NaN, which no order fits.
int compareValues(const ExprValue& left, const ExprValue& right, bool& unordered);

// Follows a text as it grows at its end and tells whether it could still read as a number: a sign,
// digits, a point, an exponent, or a word of inf and nan, blanks around. It accepts every text that
// QString::toDouble accepts, and more, so "dead" and "incomplete" are safe answers of "no number"
// without asking the general parser, which costs time in the text's length on every step of a chain.
class NumberPrefix {
public:
    void feed(QStringView text);
    // False only when no text that begins like this one is a number.
    bool viable() const { return m_state != Dead; }
    // True when the text itself may be a number.
    bool complete() const
    {
        return m_state == Int || m_state == Frac || m_state == ExpDigits || m_state == Word
            || (m_state == Trail && m_completeBeforeTrail);
    }

private:
    enum State : unsigned char { Lead, Sign, Int, Point, Frac, Exp, ExpSign, ExpDigits, Word, Trail, Dead };

    void step(QChar character);
    State word(char16_t c);

    State m_state = Lead;
    bool m_completeBeforeTrail = false;
    char m_word[8] {};
    std::size_t m_wordLength = 0;
};

} // namespace vl
