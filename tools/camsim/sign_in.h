#pragma once
// The camera's sign-in: the account of --auth, asked for as HTTP Basic, Digest or either
// (--auth-scheme), with Digest nonces that expire (--nonce-seconds).
//
// Digest follows the form cameras use: realm "camsim", qop="auth", one algorithm per run
// (MD5, MD5-sess or SHA-256); a nonce stays good for nonce_lifetime after it was issued and
// is then answered with a new challenge marked stale=true.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantorel::camsim {

enum class AuthScheme { kDigest, kBasic, kAny };
enum class DigestAlgorithm { kMd5, kMd5Sess, kSha256 };

std::optional<AuthScheme> ParseAuthScheme(std::string_view name);      // "digest", "basic", "any"
std::optional<DigestAlgorithm> ParseDigestAlgorithm(std::string_view name);  // "MD5", "MD5-sess", "SHA-256"
const char* DigestAlgorithmName(DigestAlgorithm algorithm);

struct SignInOptions {
  std::string account;  // "user:password"; empty: no sign-in asked
  AuthScheme scheme = AuthScheme::kDigest;
  DigestAlgorithm algorithm = DigestAlgorithm::kMd5;
  std::chrono::milliseconds nonce_lifetime{std::chrono::seconds(60)};
  // Hostile sign-ins, for the tests: every right Digest answer is called stale (a new nonce
  // each time, never allowed); or, once a Digest sign-in was allowed, only Basic is asked
  // for from then on (a step down that sends the password readable).
  bool always_stale = false;
  bool basic_after_digest = false;
};

// The parameters of a "Digest ..." Authorization header, names in lower case. Quoted values
// lose their quotes and backslash escapes. Empty when the header is not Digest or does not
// parse (a value left open, a parameter without '=', more than 32 parameters).
std::map<std::string, std::string> ParseDigestParameters(std::string_view header);

// Decodes standard Base64; nullopt for anything else.
std::optional<std::string> DecodeBase64(std::string_view text);

// Checks requests against the account; thread-safe.
class SignIn {
 public:
  explicit SignIn(SignInOptions options);

  enum class Verdict { kAllowed, kChallenge, kStaleChallenge };
  // The verdict on a request of `method` for `target` (path and query as sent) carrying
  // `authorization` (empty when there is none).
  Verdict Check(std::string_view method, std::string_view target, std::string_view authorization);

  // The WWW-Authenticate values of a challenge (one per scheme offered), with a fresh nonce.
  std::vector<std::string> Challenge(bool stale);

  bool enabled() const { return !options_.account.empty(); }

 private:
  bool CheckBasic(std::string_view credentials) const;
  Verdict CheckDigest(std::string_view method, std::string_view target, std::string_view header);
  bool Basic() const;   // Basic is asked for (and taken) now
  bool Digest() const;  // Digest is asked for (and taken) now

  const SignInOptions options_;
  std::string user_, password_;
  std::mutex mutex_;
  std::map<std::string, std::chrono::steady_clock::time_point> nonces_;  // issued, newest 256
  uint64_t next_nonce_ = 0;
  std::atomic<bool> digest_worked_{false};
};

}  // namespace vantorel::camsim
