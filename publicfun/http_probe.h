// The two HTTP probes of CPublicFun: the requests they send and how they judge answers.
//
// Kept apart from the members so that the qel host can run a probe and tell which rule
// decided it; the members themselves only return the result.
#ifndef QELSHARE_PUBLICFUN_HTTP_PROBE_H_
#define QELSHARE_PUBLICFUN_HTTP_PROBE_H_

#include <string>
#include <string_view>

#include "platform/net/http.h"

namespace qel::probe {

// A probe's result (1 or 0) and the rule that decided it, in words.
struct Verdict {
  int result = 0;
  std::string rule;
};

// Bytes of the body that URLCommand reads, once, before it lets the answer go.
inline constexpr std::size_t kCommandBodyBytes = 8192;

inline bool IsRedirection(int status) {
  return status >= 301 && status <= 303;
}

// Steps shared by both probes: an http:// address, an answer, no password, no redirection.
inline bool Rejected(net::Response const& r, Verdict& v) {
  if (!r.headers) {
    v.rule = "no answer: " + r.error;
  } else if (r.status == 401) {
    v.rule = "status 401: the server asks for a password";
  } else if (IsRedirection(r.status)) {
    v.rule = "status " + std::to_string(r.status) + ": redirections are not followed";
  } else {
    return false;
  }
  return true;
}

// URLCommand: 1 when the answer's header block holds "OK" and its body could be read.
inline Verdict UrlCommand(char const* url, net::Response* seen = nullptr) {
  Verdict v;
  if (url == nullptr || *url == '\0') return {0, "no address"};
  if (!net::IsHttpUrl(url)) return {0, "not an http:// address: nothing sent"};
  net::Response r = net::Get({url, "QelCommand", {"QEL2004"}, kCommandBodyBytes});
  if (seen != nullptr) *seen = r;
  if (Rejected(r, v)) return v;
  if (r.raw_headers.find("OK") == std::string::npos) return {0, "the headers hold no \"OK\""};
  if (!r.complete) return {0, "the body could not be read: " + r.error};
  return {1, "the headers hold \"OK\""};
}

// CheckHttpFile: 1 when the header block holds "200 OK", or else "Content-Type:".
inline Verdict CheckHttpFile(char const* url, net::Response* seen = nullptr) {
  Verdict v;
  if (url == nullptr || *url == '\0') return {0, "no address"};
  if (!net::IsHttpUrl(url)) return {0, "not an http:// address: nothing sent"};
  net::Response r = net::Get({url, "QelClient", {"QelClient"}, 0});
  if (seen != nullptr) *seen = r;
  if (Rejected(r, v)) return v;
  if (r.raw_headers.find("200 OK") != std::string::npos) return {1, "the headers hold \"200 OK\""};
  if (r.raw_headers.find("Content-Type:") != std::string::npos) {
    return {1, "the headers hold \"Content-Type:\""};
  }
  return {0, "the headers hold neither \"200 OK\" nor \"Content-Type:\""};
}

}  // namespace qel::probe

#endif  // QELSHARE_PUBLICFUN_HTTP_PROBE_H_
