// Why the last call failed, and random bits from the system. One
// implementation per platform, chosen when linking.
#pragma once

#include <stdint.h>

#include <string>

namespace zor::pack {

// Fresh random bits from the system's generator, for names that others in
// a shared folder cannot guess; false when the generator fails.
bool RandomBits(uint64_t* bits);

// The last failed call failed because something already stands under the
// name it was to create.
bool LastFailureWasNameTaken();

// The last failed call failed because a name in the path does not exist.
bool LastFailureWasMissingName();

// The system's text for the last failed call, on one line; empty when the
// failure left no error code. ForgetLastFailure clears it, so that a
// failure without a code of its own (the end of a file) shows none.
std::string LastFailureText();
void ForgetLastFailure();

}  // namespace zor::pack
