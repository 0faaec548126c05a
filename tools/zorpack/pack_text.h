// The pieces of the packer's one-line messages and reports: quoted paths,
// the system's reason for a failure and digests in hexadecimal.
#pragma once

#include <string>

#include "common/sha256_digest.h"

namespace zor::pack {

// How an escaped character is written: its bytes as \xNN in messages, the
// character as \uNNNN in the JSON reports, where quotes and backslashes
// are escaped too.
enum class EscapeStyle { kMessage, kJson };

// `text` with every character that must not reach a terminal as it is
// escaped: C0 and C1 controls (encoded, or a raw byte that starts no
// character), DEL, and the bidirectional embeddings, overrides and isolates.
// The one escaping rule of messages and reports.
std::string Escaped(const std::string& text, EscapeStyle style);

// "'path'", quoted and escaped for one-line messages.
std::string Quoted(const std::string& path);

// "'path': <the system's text for the last failure>".
std::string DescribeFailure(const std::string& path);

// Bytes as the reports show them: two lowercase hexadecimal digits each.
std::string HexText(const unsigned char* bytes, size_t count);

// The 64 lowercase hexadecimal characters of `digest`, as the launcher names
// its cache folder.
std::string DigestText(const Sha256Digest& digest);

}  // namespace zor::pack
