// The FastCGI 1.0 record format, in one place for everything that reads or writes records: the
// 8-byte header (version, type, request id and content length, both big-endian, padding length,
// a reserved byte) followed by the content and the padding, the record types and the values of
// the request's beginning and end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace xg::fastcgi {

constexpr size_t kHeaderSize = 8;
constexpr unsigned char kVersion = 1;
// The most content one record carries: its length is a 16-bit field.
constexpr size_t kMaxContent = 65535;

enum RecordType : unsigned char {
  kBeginRequest = 1,
  kAbortRequest = 2,
  kEndRequest = 3,
  kParams = 4,
  kStdin = 5,
  kStdout = 6,
  kGetValues = 9,
  kGetValuesResult = 10,
  kUnknownType = 11,
};

// FCGI_BEGIN_REQUEST: the role (the first two bytes) and the flags (the third).
constexpr size_t kBeginBodySize = 8;
constexpr int kResponder = 1;
constexpr unsigned char kKeepConnection = 1;

// FCGI_END_REQUEST: the protocol status (the fifth byte).
enum ProtocolStatus : unsigned char {
  kRequestComplete = 0,
  kCantMultiplex = 1,
  kUnknownRole = 3,
};

// The body of an FCGI_END_REQUEST (and of an FCGI_UNKNOWN_TYPE) record.
constexpr size_t kEndBodySize = 8;

struct RecordHeader {
  unsigned char version = 0;
  unsigned char type = 0;
  int request_id = 0;
  size_t content_length = 0;
  size_t padding_length = 0;

  // The whole record: header, content and padding.
  size_t RecordSize() const { return kHeaderSize + content_length + padding_length; }
};

// Reads the header at `bytes` (kHeaderSize of them).
RecordHeader DecodeHeader(const char* bytes);
// Writes the header of a record without padding to `out` (kHeaderSize bytes).
void EncodeHeader(char* out, unsigned char type, int request_id, size_t content_length);
// Writes the body of an FCGI_END_REQUEST to `out` (kEndBodySize bytes).
void EncodeEndBody(char* out, uint32_t app_status, ProtocolStatus protocol_status);

// Whether `bytes` holds a whole record at its start.
bool HoldsWholeRecord(const char* bytes, size_t size);

// Hands each name-value pair of a stream (the parameters, FCGI_GET_VALUES) to `take`. A name
// or value length is one byte below 128, else four bytes with the top bit set; each is checked
// against the bytes that are there before anything is taken. False when a length points past
// the stream's end (the pairs before it have been taken).
bool ForEachPair(std::string_view stream,
                 const std::function<void(std::string_view name, std::string_view value)>& take);
// Appends one name-value pair in the stream's encoding.
void AppendPair(std::string& out, const std::string& name, const std::string& value);

}  // namespace xg::fastcgi
