#include "camsim/sign_in.h"

#include <openssl/evp.h>

#include <array>
#include <cctype>
#include <cstdio>
#include <random>

namespace vantorel::camsim {

namespace {

constexpr const char* kRealm = "camsim";
constexpr size_t kMaxNonces = 256;
constexpr size_t kMaxParameters = 32;

std::string Hex(const unsigned char* bytes, size_t size) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
  }
  return out;
}

std::string Hash(DigestAlgorithm algorithm, const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  const EVP_MD* md = algorithm == DigestAlgorithm::kSha256 ? EVP_sha256() : EVP_md5();
  if (!EVP_Digest(text.data(), text.size(), digest, &size, md, nullptr)) return {};
  return Hex(digest, size);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// Starts with `scheme` followed by a space, in any case.
bool HasScheme(std::string_view header, std::string_view scheme) {
  return header.size() > scheme.size() && EqualNoCase(header.substr(0, scheme.size()), scheme) &&
         header[scheme.size()] == ' ';
}

// `text` with its percent escapes decoded.
std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      out += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// cpp-httplib hands header values percent-decoded, so a Digest uri with escapes (the door
// opener's "action=1%3A%2F3000%5C") arrives decoded, a backslash even closing its quotes
// early. The request's own target, as sent, is put back in its place.
std::string WithTargetAsSent(std::string_view header, std::string_view target) {
  const std::string sent = "uri=\"" + std::string(target) + "\"";
  const std::string decoded = "uri=\"" + PercentDecoded(target) + "\"";
  std::string out(header);
  const size_t at = out.find(decoded);
  if (decoded != sent && at != std::string::npos) out.replace(at, decoded.size(), sent);
  return out;
}

}  // namespace

std::optional<AuthScheme> ParseAuthScheme(std::string_view name) {
  if (name == "digest") return AuthScheme::kDigest;
  if (name == "basic") return AuthScheme::kBasic;
  if (name == "any") return AuthScheme::kAny;
  return std::nullopt;
}

std::optional<DigestAlgorithm> ParseDigestAlgorithm(std::string_view name) {
  if (EqualNoCase(name, "MD5")) return DigestAlgorithm::kMd5;
  if (EqualNoCase(name, "MD5-sess")) return DigestAlgorithm::kMd5Sess;
  if (EqualNoCase(name, "SHA-256")) return DigestAlgorithm::kSha256;
  return std::nullopt;
}

const char* DigestAlgorithmName(DigestAlgorithm algorithm) {
  switch (algorithm) {
    case DigestAlgorithm::kMd5:
      return "MD5";
    case DigestAlgorithm::kMd5Sess:
      return "MD5-sess";
    case DigestAlgorithm::kSha256:
      return "SHA-256";
  }
  return "MD5";
}

std::map<std::string, std::string> ParseDigestParameters(std::string_view header) {
  std::map<std::string, std::string> out;
  if (!HasScheme(header, "Digest")) return out;
  size_t i = 7;
  const auto skip = [&](auto is) {
    while (i < header.size() && is(header[i])) ++i;
  };
  const auto space_or_comma = [](char c) { return c == ' ' || c == '\t' || c == ','; };
  for (;;) {
    skip(space_or_comma);
    if (i >= header.size()) return out;
    if (out.size() >= kMaxParameters) return {};
    std::string name;
    while (i < header.size() && header[i] != '=' && header[i] != ' ' && header[i] != ',') {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(header[i++])));
    }
    skip([](char c) { return c == ' ' || c == '\t'; });
    if (name.empty() || i >= header.size() || header[i] != '=') return {};
    ++i;
    skip([](char c) { return c == ' ' || c == '\t'; });
    std::string value;
    if (i < header.size() && header[i] == '"') {
      ++i;
      bool closed = false;
      while (i < header.size()) {
        const char c = header[i++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\') {
          if (i >= header.size()) break;
          value += header[i++];
        } else {
          value += c;
        }
      }
      if (!closed) return {};
    } else {
      while (i < header.size() && !space_or_comma(header[i])) value += header[i++];
    }
    out[name] = value;
  }
}

std::optional<std::string> DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t bits = 0;
  int count = 0;
  size_t padding = 0;
  for (char c : text) {
    int v;
    if (c >= 'A' && c <= 'Z') v = c - 'A';
    else if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
    else if (c >= '0' && c <= '9') v = c - '0' + 52;
    else if (c == '+') v = 62;
    else if (c == '/') v = 63;
    else if (c == '=') {
      ++padding;
      continue;
    } else {
      return std::nullopt;
    }
    if (padding > 0) return std::nullopt;  // data after padding
    bits = (bits << 6) | static_cast<uint32_t>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  if (padding > 2 || (text.size() % 4) != 0) return std::nullopt;
  return out;
}

SignIn::SignIn(SignInOptions options) : options_(std::move(options)) {
  const size_t colon = options_.account.find(':');
  user_ = options_.account.substr(0, colon);
  if (colon != std::string::npos) password_ = options_.account.substr(colon + 1);
  next_nonce_ = std::random_device{}();
}

SignIn::Verdict SignIn::Check(std::string_view method, std::string_view target, std::string_view authorization) {
  if (!enabled()) return Verdict::kAllowed;
  const bool basic = Basic();
  const bool digest = Digest();
  if (basic && HasScheme(authorization, "Basic")) {
    return CheckBasic(authorization.substr(6)) ? Verdict::kAllowed : Verdict::kChallenge;
  }
  if (digest && HasScheme(authorization, "Digest")) {
    return CheckDigest(method, target, WithTargetAsSent(authorization, target));
  }
  return Verdict::kChallenge;
}

bool SignIn::CheckBasic(std::string_view credentials) const {
  while (!credentials.empty() && credentials.front() == ' ') credentials.remove_prefix(1);
  const auto decoded = DecodeBase64(credentials);
  return decoded && *decoded == options_.account;
}

SignIn::Verdict SignIn::CheckDigest(std::string_view method, std::string_view target, std::string_view header) {
  auto p = ParseDigestParameters(header);
  if (p.empty() || p["username"] != user_ || p["realm"] != kRealm || p["uri"] != target) return Verdict::kChallenge;
  const auto algorithm = ParseDigestAlgorithm(p.count("algorithm") ? p["algorithm"] : "MD5");
  if (!algorithm || *algorithm != options_.algorithm) return Verdict::kChallenge;
  const std::string& nonce = p["nonce"];
  {
    std::lock_guard lock(mutex_);
    const auto issued = nonces_.find(nonce);
    if (issued == nonces_.end()) return Verdict::kChallenge;
    if (std::chrono::steady_clock::now() - issued->second > options_.nonce_lifetime) {
      // Right answer to an old nonce: the client knows the password, the nonce has expired.
      nonces_.erase(issued);
      return Verdict::kStaleChallenge;
    }
  }
  const std::string& qop = p["qop"];
  if (qop != "auth" || p["nc"].empty() || p["cnonce"].empty()) return Verdict::kChallenge;
  std::string ha1 = Hash(*algorithm, user_ + ":" + kRealm + ":" + password_);
  if (*algorithm == DigestAlgorithm::kMd5Sess) ha1 = Hash(*algorithm, ha1 + ":" + nonce + ":" + p["cnonce"]);
  const std::string ha2 = Hash(*algorithm, std::string(method) + ":" + std::string(target));
  const std::string expected = Hash(*algorithm, ha1 + ":" + nonce + ":" + p["nc"] + ":" + p["cnonce"] + ":" + qop + ":" + ha2);
  if (!EqualNoCase(expected, p["response"])) return Verdict::kChallenge;
  if (options_.always_stale) return Verdict::kStaleChallenge;
  digest_worked_ = true;
  return Verdict::kAllowed;
}

bool SignIn::Basic() const {
  return options_.scheme != AuthScheme::kDigest || (options_.basic_after_digest && digest_worked_);
}

bool SignIn::Digest() const {
  return options_.scheme != AuthScheme::kBasic && !(options_.basic_after_digest && digest_worked_);
}

std::vector<std::string> SignIn::Challenge(bool stale) {
  std::vector<std::string> values;
  if (Digest()) {
    std::string nonce;
    {
      std::lock_guard lock(mutex_);
      const uint64_t n = next_nonce_++;
      const std::array<unsigned char, 8> bytes{
          static_cast<unsigned char>(n >> 56), static_cast<unsigned char>(n >> 48),
          static_cast<unsigned char>(n >> 40), static_cast<unsigned char>(n >> 32),
          static_cast<unsigned char>(n >> 24), static_cast<unsigned char>(n >> 16),
          static_cast<unsigned char>(n >> 8),  static_cast<unsigned char>(n)};
      nonce = Hash(DigestAlgorithm::kMd5, Hex(bytes.data(), bytes.size()) + "camsim");
      if (nonces_.size() >= kMaxNonces) {
        auto oldest = nonces_.begin();
        for (auto it = nonces_.begin(); it != nonces_.end(); ++it) {
          if (it->second < oldest->second) oldest = it;
        }
        nonces_.erase(oldest);
      }
      nonces_[nonce] = std::chrono::steady_clock::now();
    }
    values.push_back(std::string("Digest realm=\"") + kRealm + "\", nonce=\"" + nonce +
                     "\", algorithm=" + DigestAlgorithmName(options_.algorithm) + ", qop=\"auth\"" +
                     (stale ? ", stale=true" : ""));
  }
  if (Basic()) values.push_back(std::string("Basic realm=\"") + kRealm + "\"");
  return values;
}

}  // namespace vantorel::camsim
