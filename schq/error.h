// The one exception type of the SchDoc reader.
#pragma once

#include <exception>
#include <string>

namespace schq {

// Every fault that the SchDoc reader detects itself is thrown as this type.
// The message is an English UTF-8 text owned by the exception.
class Error : public std::exception {
public:
    explicit Error(const char* message);
    explicit Error(const std::string& message);
    ~Error() override;

    const char* what() const noexcept override;

private:
    std::string message_;
};

}  // namespace schq
