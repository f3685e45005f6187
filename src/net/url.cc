#include "net/url.h"

#include <algorithm>
#include <curl/curl.h>

#include <memory>

namespace vantorel {

namespace {

struct UrlDeleter {
  void operator()(CURLU* u) const { curl_url_cleanup(u); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

constexpr const char* kUnusable = "(unusable URL)";

// One part of a parsed URL; empty when the URL does not have it.
std::string Part(CURLU* url, CURLUPart part, unsigned int flags = 0) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
  std::string value = text;
  curl_free(text);
  return value;
}

}  // namespace

bool HostPortPathUrl(const std::string& url, std::string& out, std::string& error) {
  const UrlHandle in(curl_url());
  const UrlHandle cut(curl_url());
  if (!in || !cut) {
    error = "cannot create a URL handle";
    return false;
  }
  const CURLUcode parsed = curl_url_set(in.get(), CURLUPART_URL, url.c_str(), 0);
  if (parsed != CURLUE_OK) {
    error = std::string("not a usable URL: ") + curl_url_strerror(parsed);
    return false;
  }
  const std::string scheme = Part(in.get(), CURLUPART_SCHEME);  // libcurl gives it in lower case
  if (scheme != "http" && scheme != "https") {
    error = "only http:// and https:// URLs are used, not " + scheme + "://";
    return false;
  }
  const std::string host = Part(in.get(), CURLUPART_HOST);
  if (host.empty()) {
    error = "the URL names no host";
    return false;
  }
  const std::string port = Part(in.get(), CURLUPART_PORT);
  const std::string zone = Part(in.get(), CURLUPART_ZONEID);
  std::string path = Part(in.get(), CURLUPART_PATH);
  if (path.empty()) path = "/";

  bool ok = curl_url_set(cut.get(), CURLUPART_SCHEME, scheme.c_str(), 0) == CURLUE_OK &&
            curl_url_set(cut.get(), CURLUPART_HOST, host.c_str(), 0) == CURLUE_OK &&
            curl_url_set(cut.get(), CURLUPART_PATH, path.c_str(), 0) == CURLUE_OK;
  if (ok && !port.empty()) ok = curl_url_set(cut.get(), CURLUPART_PORT, port.c_str(), 0) == CURLUE_OK;
  if (ok && !zone.empty()) ok = curl_url_set(cut.get(), CURLUPART_ZONEID, zone.c_str(), 0) == CURLUE_OK;
  out = ok ? Part(cut.get(), CURLUPART_URL) : std::string();
  if (out.empty()) {
    error = "cannot rebuild the URL from its host, port and path";
    return false;
  }
  return true;
}

bool SplitCredentials(const std::string& url, std::string& without, UrlCredentials& credentials,
                      std::string& error) {
  credentials = {};
  const UrlHandle in(curl_url());
  if (!in) {
    error = "cannot create a URL handle";
    return false;
  }
  // The error texts below name the failing step only: the URL itself may hold the password.
  const CURLUcode parsed = curl_url_set(in.get(), CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME);
  if (parsed != CURLUE_OK) {
    error = std::string("not a usable URL: ") + curl_url_strerror(parsed);
    return false;
  }
  char* user = nullptr;
  const CURLUcode got_user = curl_url_get(in.get(), CURLUPART_USER, &user, CURLU_URLDECODE);
  if (got_user == CURLUE_NO_USER) {
    without = url;
    return true;
  }
  if (got_user != CURLUE_OK || user == nullptr) {
    error = "the user name in the URL does not decode";
    return false;
  }
  credentials.user = user;
  curl_free(user);
  char* password = nullptr;
  const CURLUcode got_password = curl_url_get(in.get(), CURLUPART_PASSWORD, &password, CURLU_URLDECODE);
  if (got_password == CURLUE_OK && password != nullptr) {
    credentials.password = password;
    curl_free(password);
  } else if (got_password != CURLUE_NO_PASSWORD) {
    error = "the password in the URL does not decode";
    return false;
  }
  credentials.present = true;
  if (curl_url_set(in.get(), CURLUPART_USER, nullptr, 0) != CURLUE_OK ||
      curl_url_set(in.get(), CURLUPART_PASSWORD, nullptr, 0) != CURLUE_OK) {
    error = "cannot take the credentials out of the URL";
    return false;
  }
  without = Part(in.get(), CURLUPART_URL);
  if (without.empty()) {
    error = "cannot rebuild the URL without its credentials";
    return false;
  }
  return true;
}

std::string RedactUrl(const std::string& url) {
  // Without '@' there is no user information to hide, however odd the rest.
  if (url.find('@') == std::string::npos) return url;
  const UrlHandle parsed(curl_url());
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

std::string CameraEndpointUrl(const std::string& url, const std::string& path_and_query) {
  const UrlHandle parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  const std::string scheme = Part(parsed.get(), CURLUPART_SCHEME);
  if ((scheme != "http" && scheme != "https") || Part(parsed.get(), CURLUPART_HOST).empty()) return {};
  const size_t query = path_and_query.find('?');
  const std::string path = path_and_query.substr(0, query);
  const std::string rest = query == std::string::npos ? std::string() : path_and_query.substr(query + 1);
  const bool ok = curl_url_set(parsed.get(), CURLUPART_PATH, path.c_str(), 0) == CURLUE_OK &&
                  curl_url_set(parsed.get(), CURLUPART_QUERY, rest.empty() ? nullptr : rest.c_str(), 0) == CURLUE_OK &&
                  curl_url_set(parsed.get(), CURLUPART_FRAGMENT, nullptr, 0) == CURLUE_OK;
  return ok ? Part(parsed.get(), CURLUPART_URL) : std::string();
}

std::string CameraKey(const std::string& url) {
  const UrlHandle parsed(curl_url());
  if (!parsed || curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  const std::string host = Part(parsed.get(), CURLUPART_HOST);
  const std::string port = Part(parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);
  return host.empty() ? std::string() : host + ":" + port;
}

std::string WithCredentials(const std::string& url, const std::string& user, const std::string& password) {
  const UrlHandle u(curl_url());
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  if (curl_url_set(u.get(), CURLUPART_USER, user.c_str(), CURLU_URLENCODE) != CURLUE_OK ||
      curl_url_set(u.get(), CURLUPART_PASSWORD, password.empty() ? nullptr : password.c_str(), CURLU_URLENCODE) !=
          CURLUE_OK) {
    return {};
  }
  return Part(u.get(), CURLUPART_URL);
}

std::string UrlHost(const std::string& url) {
  const UrlHandle u(curl_url());
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return {};
  return Part(u.get(), CURLUPART_HOST);
}

std::pair<size_t, size_t> PasswordSpan(std::string_view text) {
  const size_t scheme = text.find("://");
  if (scheme == std::string_view::npos) return {0, 0};
  const size_t authority = scheme + 3;
  const size_t authority_end = std::min(text.find_first_of("/?#", authority), text.size());
  const size_t at = text.rfind('@', authority_end);
  if (at == std::string_view::npos || at < authority) return {0, 0};
  const size_t colon = text.find(':', authority);
  if (colon == std::string_view::npos || colon > at) return {0, 0};
  return {colon + 1, at};
}

}  // namespace vantorel
