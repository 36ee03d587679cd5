#pragma once

// The add-on's log statement:
//
//   QLOG(1) << "Load " << name << " fail, code " << code;
//
// A statement opens a record with its level, the module "KQuorix", the source path relative to
// the repository without extension ("cpp/src/quorixapp/quorixprotocol"), the line and the
// function as "Class::method". IsLogLevelEnabled is asked once when the record opens; while it is
// enabled, pieces are appended to a wide text: narrow texts (UTF-8) converted, wide texts copied,
// QString, std::string, numbers in decimal. The text starts in a stack buffer of 512 wide
// characters and moves to the heap, doubling from 512 until it fits. DoLog is called when the
// statement ends. A statement never throws.

#include "fenlog.h"
#include "winapi.h"

#include <QString>

#include <cstddef>
#include <cstring>
#include <cwchar>
#include <new>
#include <string>
#include <type_traits>

namespace quorixlog {

constexpr const char kModule[] = "KQuorix";
constexpr std::size_t kStackChars = 512;

// "Class::method" from a pretty function name such as "virtual bool Class::method(int) const";
// inside a lambda the enclosing function's name; anonymous namespaces are left out.
inline std::string functionName(const char* pretty)
{
    const std::string text = pretty != nullptr ? pretty : "";
    int depth = 0;
    std::size_t open = std::string::npos;
    for (std::size_t i = 0; i < text.size() && open == std::string::npos; ++i) {
        const char c = text[i];
        if (c == '<')
            ++depth;
        else if (c == '>' && depth > 0)
            --depth;
        else if (c == '(' && depth == 0 && text.compare(i, 2, "()") == 0 && i >= 8 &&
                 text.compare(i - 8, 8, "operator") == 0)
            ++i;
        else if (c == '(' && depth == 0)
            open = i;
    }
    const std::size_t end = open == std::string::npos ? text.size() : open;
    depth = 0;
    std::size_t start = 0;
    for (std::size_t i = end; i > 0; --i) {
        const char c = text[i - 1];
        if (c == '>')
            ++depth;
        else if (c == '<' && depth > 0)
            --depth;
        else if ((c == ' ' || c == '*' || c == '&') && depth == 0) {
            start = i;
            break;
        }
    }
    std::string name = text.substr(start, end - start);
    const std::string anonymous = "{anonymous}::";
    for (std::size_t at = name.find(anonymous); at != std::string::npos; at = name.find(anonymous))
        name.erase(at, anonymous.size());
    return name;
}

// The repository-relative source path without extension: "cpp/src/quorixapp/quorixprotocol".
inline std::string sourcePath(const char* file)
{
    std::string path = file != nullptr ? file : "";
    const std::size_t root = path.rfind("/cpp/");
    if (root != std::string::npos)
        path.erase(0, root + 1);
    const std::size_t slash = path.rfind('/');
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        path.erase(dot);
    return path;
}

class LogStatement
{
public:
    LogStatement(int level, const char* file, int line, const char* prettyFunction)
        : m_level(static_cast<unsigned short>(level)), m_line(static_cast<unsigned short>(line)),
          m_file(file), m_function(prettyFunction), m_enabled(IsLogLevelEnabled(m_level))
    {
        m_stack[0] = L'\0';
    }
    LogStatement(const LogStatement&) = delete;
    LogStatement& operator=(const LogStatement&) = delete;

    ~LogStatement()
    {
        if (m_enabled) {
            try {
                DoLog(m_level, kModule, sourcePath(m_file).c_str(), m_line, functionName(m_function).c_str(),
                      m_text);
            } catch (...) {
                // Logging must never take the add-on down; a lost line is the lesser harm.
            }
        }
        if (m_text != m_stack)
            delete[] m_text;
    }

    LogStatement& operator<<(const wchar_t* text)
    {
        if (m_enabled && text != nullptr)
            append(text, std::wcslen(text));
        return *this;
    }
    LogStatement& operator<<(const std::wstring& text)
    {
        if (m_enabled)
            append(text.data(), text.size());
        return *this;
    }
    LogStatement& operator<<(const char* text)
    {
        if (m_enabled && text != nullptr)
            appendNarrow(text, std::strlen(text));
        return *this;
    }
    LogStatement& operator<<(const std::string& text)
    {
        if (m_enabled)
            appendNarrow(text.data(), text.size());
        return *this;
    }
    LogStatement& operator<<(const QString& text)
    {
        if (m_enabled)
            *this << text.toStdWString();
        return *this;
    }
    LogStatement& operator<<(char c)
    {
        const char text[2] = {c, '\0'};
        return *this << text;
    }
    LogStatement& operator<<(wchar_t c)
    {
        if (m_enabled)
            append(&c, 1);
        return *this;
    }
    LogStatement& operator<<(bool value) { return *this << static_cast<int>(value); }
    template <class T, std::enable_if_t<std::is_integral<T>::value && !std::is_same<T, bool>::value, int> = 0>
    LogStatement& operator<<(T number)
    {
        if (m_enabled)
            appendDecimal(number);
        return *this;
    }
    LogStatement& operator<<(double number)
    {
        if (m_enabled) {
            wchar_t buffer[64];
            const int n = std::swprintf(buffer, 64, L"%g", number);
            if (n > 0)
                append(buffer, static_cast<std::size_t>(n));
        }
        return *this;
    }

    // Enabled state and current capacity, for tests of the buffer growth.
    bool enabled() const { return m_enabled; }
    std::size_t capacity() const { return m_capacity; }
    const wchar_t* text() const { return m_text; }

private:
    template <class T> void appendDecimal(T number)
    {
        using Unsigned = std::make_unsigned_t<T>;
        wchar_t digits[24];
        std::size_t n = 0;
        bool negative = false;
        if constexpr (std::is_signed<T>::value)
            negative = number < 0;
        Unsigned value = static_cast<Unsigned>(number);
        if (negative)
            value = static_cast<Unsigned>(Unsigned(0) - value);
        do {
            digits[sizeof digits / sizeof *digits - 1 - n++] = static_cast<wchar_t>(L'0' + value % 10);
            value /= 10;
        } while (value != 0);
        if (negative)
            digits[sizeof digits / sizeof *digits - 1 - n++] = L'-';
        append(digits + sizeof digits / sizeof *digits - n, n);
    }

    void appendNarrow(const char* text, std::size_t length)
    {
        if (length == 0)
            return;
        const int bytes = static_cast<int>(length);
        const int wide = MultiByteToWideChar(CP_ACP, 0, text, bytes, nullptr, 0);
        if (wide <= 0 || !reserve(m_length + static_cast<std::size_t>(wide)))
            return;
        MultiByteToWideChar(CP_ACP, 0, text, bytes, m_text + m_length, wide);
        m_length += static_cast<std::size_t>(wide);
        m_text[m_length] = L'\0';
    }

    void append(const wchar_t* text, std::size_t length)
    {
        if (!reserve(m_length + length))
            return;
        std::wmemcpy(m_text + m_length, text, length);
        m_length += length;
        m_text[m_length] = L'\0';
    }

    // Room for `length` characters plus the terminator; false when memory runs out.
    bool reserve(std::size_t length)
    {
        if (length + 1 <= m_capacity)
            return true;
        std::size_t capacity = m_capacity;
        while (capacity < length + 1)
            capacity *= 2;
        auto* grown = new (std::nothrow) wchar_t[capacity];
        if (grown == nullptr)
            return false;
        std::wmemcpy(grown, m_text, m_length + 1);
        if (m_text != m_stack)
            delete[] m_text;
        m_text = grown;
        m_capacity = capacity;
        return true;
    }

    unsigned short m_level;
    unsigned short m_line;
    const char* m_file;
    const char* m_function;
    bool m_enabled;
    wchar_t m_stack[kStackChars];
    wchar_t* m_text = m_stack;
    std::size_t m_length = 0;
    std::size_t m_capacity = kStackChars;
};

} // namespace quorixlog

#define QLOG(level) ::quorixlog::LogStatement((level), __FILE__, __LINE__, __PRETTY_FUNCTION__)
