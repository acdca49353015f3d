// The one error type: a message for the user, already translated, and the raising site.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace orvane_cr {

class ui_exception : public std::exception {
public:
    explicit ui_exception(std::u16string message);
    ui_exception(std::u16string message, const char *source_file, std::int32_t line);
    ui_exception(const ui_exception &) = default;
    ui_exception &operator=(const ui_exception &) = default;
    ~ui_exception() override;

    // Every instance describes itself the same way; the text to show is message().
    const char *what() const noexcept override;

    const std::u16string &message() const noexcept { return message_; }
    const std::string &source_file() const noexcept { return source_file_; }
    std::int32_t line() const noexcept { return line_; }

private:
    std::u16string message_;
    std::string source_file_;
    std::int32_t line_ = 0;
};

}  // namespace orvane_cr
