#include "platform/redact_url.h"

#include <curl/curl.h>

#include <memory>

namespace vantorel {

namespace {

struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};

constexpr const char* kUnusable = "(unusable URL)";

}  // namespace

std::string RedactUrl(const std::string& url) {
  // Without '@' there is no user information to hide, however odd the rest.
  if (url.find('@') == std::string::npos) return url;
  const std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed) return kUnusable;
  const unsigned int flags = CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME;
  if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), flags) != CURLUE_OK) return kUnusable;
  char* password = nullptr;
  const CURLUcode has = curl_url_get(parsed.get(), CURLUPART_PASSWORD, &password, 0);
  curl_free(password);
  if (has == CURLUE_NO_PASSWORD) return url;
  if (has != CURLUE_OK || curl_url_set(parsed.get(), CURLUPART_PASSWORD, "***", 0) != CURLUE_OK) return kUnusable;
  char* text = nullptr;
  if (curl_url_get(parsed.get(), CURLUPART_URL, &text, 0) != CURLUE_OK || text == nullptr) return kUnusable;
  std::string out = text;
  curl_free(text);
  return out;
}

}  // namespace vantorel
