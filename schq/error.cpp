// The SchDoc reader's exception: a message it owns.
#include "schq/error.h"

namespace schq {

Error::Error(const char* message) : message_(message ? message : "") {}

Error::Error(const std::string& message) : message_(message) {}

Error::~Error() = default;

const char* Error::what() const noexcept { return message_.c_str(); }

}  // namespace schq
