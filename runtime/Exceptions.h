#pragma once
// The one exception hierarchy of the program. Every failure carries its message text;
// the application's exception handler shows it (EAbort excepted).

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : m_message(std::move(message)) {}
    const std::string& Message() const { return m_message; }
    void SetMessage(std::string message) { m_message = std::move(message); }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

// The silent kind: dropped by the application's handler without a message.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

class EOleError : public Exception {
public:
    using Exception::Exception;
};

class EOleSysError : public EOleError {
public:
    EOleSysError(std::string message, int32_t errorCode)
        : EOleError(std::move(message)), m_errorCode(errorCode) {}
    int32_t ErrorCode() const { return m_errorCode; }

private:
    int32_t m_errorCode;
};

class EOleException : public EOleSysError {
public:
    EOleException(std::string message, int32_t errorCode, std::string source = {},
                  std::string helpFile = {}, int helpContext = 0)
        : EOleSysError(std::move(message), errorCode), m_source(std::move(source)),
          m_helpFile(std::move(helpFile)), m_helpContext(helpContext) {}
    const std::string& Source() const { return m_source; }
    const std::string& HelpFile() const { return m_helpFile; }
    int HelpContext() const { return m_helpContext; }

private:
    std::string m_source;
    std::string m_helpFile;
    int m_helpContext;
};

class EIntfCastError : public Exception {
public:
    EIntfCastError() : Exception("Interface not supported") {}
    using Exception::Exception;
};

namespace vl {
// The message rule of the message box and of the tools' standard error: "." appended when the
// last character compares greater than ".".
std::string messageWithFullStop(std::string_view text);

// Raises EDatabaseError for a component: "%s: %s" with the component's name when it has one,
// the bare text otherwise.
[[noreturn]] void databaseError(std::string_view text, std::string_view componentName = {});
} // namespace vl
