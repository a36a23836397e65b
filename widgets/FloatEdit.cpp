#include "widgets/FloatEdit.h"

#include <QKeyEvent>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

// The white space of the C locale's isspace.
bool IsCSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

bool IsDigit(QStringView text, qsizetype i)
{
    return i < text.size() && text[i].unicode() >= u'0' && text[i].unicode() <= u'9';
}

// Used when the value does not fit a double: a number whose first significant
// digit stands above the units overflows, any other underflows.
double OutOfRange(const std::string& mantissa, long long exponent)
{
    const bool negative = !mantissa.empty() && mantissa.front() == '-';
    const std::size_t point = std::min(mantissa.find('.'), mantissa.size());
    const std::size_t first = mantissa.find_first_of("123456789");
    if (first == std::string::npos) return negative ? -0.0 : 0.0;
    const long long magnitude = first < point ? static_cast<long long>(point - first)
                                              : -static_cast<long long>(first - point - 1);
    if (magnitude + exponent > 0) {
        return negative ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
    }
    return negative ? -0.0 : 0.0;
}

}  // namespace

LeadingNumber ParseLeadingNumber(QStringView text)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && IsCSpace(text[i])) ++i;

    std::string mantissa;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-') mantissa += '-';
        ++i;
    }
    int digits = 0;
    while (IsDigit(text, i)) {
        mantissa += static_cast<char>(text[i++].unicode());
        ++digits;
    }
    if (i < n && text[i] == u'.') {
        std::string fraction = ".";
        qsizetype j = i + 1;
        while (IsDigit(text, j)) {
            fraction += static_cast<char>(text[j++].unicode());
            ++digits;
        }
        if (digits > 0) {
            mantissa += fraction;
            i = j;
        }
    }
    if (digits == 0) return {};

    // The exponent counts only when at least one digit follows its letter and sign.
    std::string number = mantissa;
    long long exponent = 0;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        qsizetype j = i + 1;
        std::string part = "e";
        bool negative = false;
        if (j < n && (text[j] == u'+' || text[j] == u'-')) {
            negative = text[j] == u'-';
            part += static_cast<char>(text[j++].unicode());
        }
        if (IsDigit(text, j)) {
            while (IsDigit(text, j)) {
                const int d = text[j].unicode() - u'0';
                if (exponent < 1000000000LL) exponent = exponent * 10 + d;
                part += static_cast<char>(text[j++].unicode());
            }
            if (negative) exponent = -exponent;
            number += part;
            i = j;
        }
    }

    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error == std::errc::result_out_of_range) value = OutOfRange(mantissa, exponent);
    else if (error != std::errc() || end != number.data() + number.size()) return {};
    return {value, i};
}

float NarrowToFloat(double value)
{
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    if (std::isnan(value) || std::fabs(value) <= kFloatMax) return static_cast<float>(value);
    // Below half an ulp above the largest float the value still rounds to it.
    const double halfway = std::ldexp(2.0 - std::ldexp(1.0, -24), 127);
    const float rounded = std::fabs(value) < halfway ? std::numeric_limits<float>::max()
                                                     : std::numeric_limits<float>::infinity();
    return value < 0 ? -rounded : rounded;
}

CFloatEdit::CFloatEdit(QWidget* parent) : QLineEdit(parent)
{
    // Connected first, so the judgement runs before any owner hears of the change.
    connect(this, &QLineEdit::textChanged, this, &CFloatEdit::CheckText);
}

void CFloatEdit::SetRange(float a, float b)
{
    m_minimum = std::min(a, b);
    m_maximum = std::max(a, b);
}

void CFloatEdit::keyPressEvent(QKeyEvent* event)
{
    SaveState();
    QLineEdit::keyPressEvent(event);
}

void CFloatEdit::inputMethodEvent(QInputMethodEvent* event)
{
    // Composed characters arrive here instead of as key presses.
    if (!event->commitString().isEmpty()) SaveState();
    QLineEdit::inputMethodEvent(event);
}

bool CFloatEdit::IsAcceptable(const QString& text) const
{
    // A lone minus sign is the start of a negative number, so it counts as 0 when negatives are allowed.
    const QStringView judged = text == QLatin1String("-") && m_minimum < 0.0f ? QStringView(u"0") : QStringView(text);
    const LeadingNumber number = ParseLeadingNumber(judged);
    if (number.consumed != judged.size()) return false;
    const float value = NarrowToFloat(number.value);
    return m_minimum <= value && value <= m_maximum;
}

void CFloatEdit::SaveState()
{
    m_savedText = text();
    m_savedCursor = cursorPosition();
    m_savedAnchor = m_savedCursor;
    if (hasSelectedText()) m_savedAnchor = selectionStart() == m_savedCursor ? selectionEnd() : selectionStart();
}

void CFloatEdit::CheckText()
{
    // Putting the saved text back is itself a change; it is not judged again,
    // so a saved text that a later range refuses cannot loop.
    if (m_restoring || IsAcceptable(text())) return;
    m_restoring = true;
    setText(m_savedText);
    const int length = static_cast<int>(m_savedText.size());
    const int anchor = std::clamp(m_savedAnchor, 0, length);
    const int cursor = std::clamp(m_savedCursor, 0, length);
    if (anchor == cursor) setCursorPosition(cursor);
    else setSelection(anchor, cursor - anchor);  // the caret ends where it was, and is scrolled into view
    m_restoring = false;
}
