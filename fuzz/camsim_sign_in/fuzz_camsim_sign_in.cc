// Reads the input as an Authorization header. The Digest parameters it yields, written out
// again quoted, must read back the same; no parameter has an empty name or an upper-case
// letter in it; the sign-in checks it under every scheme without crashing, and never lets a
// header in that names another user.

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "camsim/sign_in.h"

namespace {

using vantorel::camsim::AuthScheme;
using vantorel::camsim::ParseDigestParameters;
using vantorel::camsim::SignIn;

std::string Quoted(const std::string& value) {
  std::string out = "\"";
  for (char c : value) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string header(reinterpret_cast<const char*>(data), size);
  const auto parameters = ParseDigestParameters(header);
  if (parameters.size() > 32) std::abort();
  std::string again = "Digest ";
  for (const auto& [name, value] : parameters) {
    if (name.empty()) std::abort();
    for (char c : name) {
      if (std::isupper(static_cast<unsigned char>(c)) || c == '=' || c == ',' || c == ' ') std::abort();
    }
    again += name + "=" + Quoted(value) + ", ";
  }
  if (!parameters.empty() && ParseDigestParameters(again) != parameters) std::abort();

  for (const AuthScheme scheme : {AuthScheme::kDigest, AuthScheme::kBasic, AuthScheme::kAny}) {
    SignIn sign_in({.account = "ann:door", .scheme = scheme});
    sign_in.Challenge(false);
    const auto verdict = sign_in.Check("GET", "/axis-cgi/jpg/image.cgi", header);
    const auto user = parameters.find("username");
    if (verdict == SignIn::Verdict::kAllowed && user != parameters.end() && user->second != "ann") std::abort();
  }
  vantorel::camsim::DecodeBase64(header);
  return 0;
}
