// The exception kinds picture classes raise while loading. Each carries the user-facing text;
// the load entry point catches them all, so none reaches a host.
#pragma once

#include <stdexcept>
#include <string>

namespace quorvel::toolkit {

class GraphicError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that is not a picture of the class's format, or one it cannot represent.
class EInvalidGraphic : public GraphicError {
public:
    using GraphicError::GraphicError;
};

// A decoder that met data it cannot decompress.
class EGraphicCompression : public GraphicError {
public:
    using GraphicError::GraphicError;
};

// A colour conversion the colour manager cannot set up or perform.
class EColorConversionError : public GraphicError {
public:
    using GraphicError::GraphicError;
};

// Text that should hold a number and does not.
class EConvertError : public GraphicError {
public:
    using GraphicError::GraphicError;
};

// A file that cannot be opened or read.
class EFileError : public GraphicError {
public:
    using GraphicError::GraphicError;
};

// printf-style filling of a message with one or two %s, as the message tables are written.
std::string format_message(const char* pattern, const std::string& first);
std::string format_message(const char* pattern, const std::string& first,
                           const std::string& second);

}  // namespace quorvel::toolkit
