// A request the viewer refuses: the HTTP status and the reason, which the
// client receives as the response body.
#pragma once

#include <stdexcept>
#include <string>

namespace qelctl::view {

class HttpError : public std::runtime_error {
 public:
  HttpError(int status, const std::string& reason) : std::runtime_error(reason), status_(status) {}
  int status() const { return status_; }

 private:
  int status_;
};

}  // namespace qelctl::view
