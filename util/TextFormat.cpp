#include "util/TextFormat.h"

#include <cstdarg>
#include <cstdio>

#include <locale.h>

namespace {

#ifdef _WIN32
_locale_t CLocale()
{
    static const _locale_t locale = _create_locale(LC_NUMERIC, "C");
    return locale;
}

int FormatC(char* buffer, size_t size, const char* format, va_list args)
{
    return buffer == nullptr ? _vscprintf_l(format, CLocale(), args)
                             : _vsnprintf_s_l(buffer, size, _TRUNCATE, format, CLocale(), args);
}
#else
// The C locale for this thread for as long as one text is formatted; the
// user's locale (which the toolkit installs at start-up) is restored after.
class CNumericCLocale {
public:
    CNumericCLocale() : m_previous(m_c ? uselocale(m_c) : nullptr) {}
    ~CNumericCLocale()
    {
        if (m_previous) uselocale(m_previous);
    }
    CNumericCLocale(const CNumericCLocale&) = delete;
    CNumericCLocale& operator=(const CNumericCLocale&) = delete;

private:
    static inline const locale_t m_c = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(0));
    locale_t m_previous;
};

int FormatC(char* buffer, size_t size, const char* format, va_list args)
{
    const CNumericCLocale c;
    return std::vsnprintf(buffer, size, format, args);
}
#endif

}  // namespace

std::string FormatText(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = FormatC(nullptr, 0, format, args);
    va_end(args);

    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        FormatC(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

std::string ShownText(std::string_view text, std::size_t maxBytes)
{
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i == maxBytes) {
            shown += "...";
            break;
        }
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            shown += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            shown += escaped;
        }
    }
    return shown;
}
