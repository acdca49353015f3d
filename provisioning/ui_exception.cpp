#include "ui_exception.h"

#include <utility>

namespace orvane_cr {

ui_exception::ui_exception(std::u16string message) : message_(std::move(message)) {}

ui_exception::ui_exception(std::u16string message, const char *source_file, std::int32_t line)
    : message_(std::move(message)), source_file_(source_file != nullptr ? source_file : ""), line_(line) {}

ui_exception::~ui_exception() = default;

const char *ui_exception::what() const noexcept { return "ui_exception"; }

}  // namespace orvane_cr
