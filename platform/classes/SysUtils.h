// Exceptions of the class library stand-in.
#pragma once

#include <stdexcept>
#include <string>

namespace velmora {

// Base of every exception the class library and the units raise. The message
// is 8-bit text (GBK), as everywhere in the program.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : Message(std::move(message)) {}
  const char* what() const noexcept override { return Message.c_str(); }
  std::string Message;
};

class EStreamError : public Exception {
  using Exception::Exception;
};
class EReadError : public EStreamError {
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
  using EStreamError::EStreamError;
};
class EFOpenError : public EStreamError {
  using EStreamError::EStreamError;
};
class EListError : public Exception {
  using Exception::Exception;
};
class EOutOfMemory : public Exception {
  using Exception::Exception;
};
class EConvertError : public Exception {
  using Exception::Exception;
};
// Raised when a graphic's data can't be read.
class EInvalidGraphic : public Exception {
  using Exception::Exception;
};
class EInvalidGraphicOperation : public Exception {
  using Exception::Exception;
};
// Raised when the system refuses a graphics object.
class EOutOfResources : public Exception {
  using Exception::Exception;
};

}  // namespace velmora
