#include <errno.h>
#include <string.h>
#include <sys/random.h>

#include "platform_failure.h"

namespace zor::pack {

bool RandomBits(uint64_t* bits) {
  return getrandom(bits, sizeof *bits, 0) == static_cast<ssize_t>(sizeof *bits);
}

bool LastFailureWasNameTaken() {
  return errno == EEXIST;
}

bool LastFailureWasMissingName() {
  return errno == ENOENT;
}

std::string LastFailureText() {
  return errno == 0 ? std::string() : std::string(strerror(errno));
}

void ForgetLastFailure() {
  errno = 0;
}

}  // namespace zor::pack
