#include "host/fastcgi_record.h"

namespace xg::fastcgi {
namespace {

unsigned Byte(const char* at) {
  return static_cast<unsigned char>(*at);
}

void AppendLength(std::string& out, size_t length) {
  if (length < 0x80) {
    out.push_back(static_cast<char>(length));
    return;
  }
  out.push_back(static_cast<char>(((length >> 24) & 0x7F) | 0x80));
  out.push_back(static_cast<char>((length >> 16) & 0xFF));
  out.push_back(static_cast<char>((length >> 8) & 0xFF));
  out.push_back(static_cast<char>(length & 0xFF));
}

// One name or value length of a name-value stream; false when the stream ends first.
bool TakePairLength(const char*& at, const char* end, size_t& length) {
  if (at >= end) return false;
  if ((Byte(at) & 0x80) == 0) {
    length = Byte(at);
    ++at;
    return true;
  }
  if (end - at < 4) return false;
  length = ((Byte(at) & 0x7F) << 24) | (Byte(at + 1) << 16) | (Byte(at + 2) << 8) | Byte(at + 3);
  at += 4;
  return true;
}

}  // namespace

RecordHeader DecodeHeader(const char* bytes) {
  RecordHeader header;
  header.version = static_cast<unsigned char>(bytes[0]);
  header.type = static_cast<unsigned char>(bytes[1]);
  header.request_id = static_cast<int>((Byte(bytes + 2) << 8) | Byte(bytes + 3));
  header.content_length = (Byte(bytes + 4) << 8) | Byte(bytes + 5);
  header.padding_length = Byte(bytes + 6);
  return header;
}

void EncodeHeader(char* out, unsigned char type, int request_id, size_t content_length) {
  out[0] = static_cast<char>(kVersion);
  out[1] = static_cast<char>(type);
  out[2] = static_cast<char>((request_id >> 8) & 0xFF);
  out[3] = static_cast<char>(request_id & 0xFF);
  out[4] = static_cast<char>((content_length >> 8) & 0xFF);
  out[5] = static_cast<char>(content_length & 0xFF);
  out[6] = 0;
  out[7] = 0;
}

void EncodeEndBody(char* out, uint32_t app_status, ProtocolStatus protocol_status) {
  out[0] = static_cast<char>((app_status >> 24) & 0xFF);
  out[1] = static_cast<char>((app_status >> 16) & 0xFF);
  out[2] = static_cast<char>((app_status >> 8) & 0xFF);
  out[3] = static_cast<char>(app_status & 0xFF);
  out[4] = static_cast<char>(protocol_status);
  out[5] = out[6] = out[7] = 0;
}

bool HoldsWholeRecord(const char* bytes, size_t size) {
  return size >= kHeaderSize && size >= DecodeHeader(bytes).RecordSize();
}

bool ForEachPair(std::string_view stream,
                 const std::function<void(std::string_view name, std::string_view value)>& take) {
  const char* at = stream.data();
  const char* end = at + stream.size();
  while (at < end) {
    size_t name_length, value_length;
    if (!TakePairLength(at, end, name_length) || !TakePairLength(at, end, value_length))
      return false;
    if (name_length > static_cast<size_t>(end - at) ||
        value_length > static_cast<size_t>(end - at) - name_length)
      return false;
    take(std::string_view(at, name_length), std::string_view(at + name_length, value_length));
    at += name_length + value_length;
  }
  return true;
}

void AppendPair(std::string& out, const std::string& name, const std::string& value) {
  AppendLength(out, name.size());
  AppendLength(out, value.size());
  out += name;
  out += value;
}

}  // namespace xg::fastcgi
