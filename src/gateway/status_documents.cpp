#include "gateway/status_documents.h"

#include <vector>

#include "gateway/document_writer.h"
#include "protocol/protocol_strings.h"
#include "texts/resource_strings.h"
#include "values/date_time.h"
#include "values/variant.h"

namespace xg {
namespace {

XG_RESOURCE(SServiceInOperation, "Servi\xE7o em Opera\xE7\xE3o");

// The status document's samples, one of every value kind. The letters are not the alphabet:
// the 21st is a "W", which clients may already compare against.
constexpr const char* kStringSample = "ABCDEFGHIJKLMNOPQRSTWVWXYZ";
constexpr int32_t kIntegerSample = 2147483647;
constexpr double kFloatSample = 1.7E308;

std::string Element(const ResourceString& name, const Variant& value, DataKind kind,
                    const RegionalSettings& settings) {
  return MakeElement(LoadResString(name), value, kind, 0, 0, settings);
}

std::string OpeningTag(const ResourceString& name) {
  return xg::OpeningTag(LoadResString(name));
}

std::string ClosingTag(const ResourceString& name) {
  return xg::ClosingTag(LoadResString(name));
}

// Each date and time value reads the clock when its line is made.
Variant CurrentDateTime(const Clock& clock) {
  return Variant::FromDate(clock.Now());
}

Variant CurrentDate(const Clock& clock) {
  DecodedDateTime now = DecodeDateTime(clock.Now());
  return Variant::FromDate(EncodeDate(now.year, now.month, now.day));
}

Variant CurrentTime(const Clock& clock) {
  DecodedDateTime now = DecodeDateTime(clock.Now());
  return Variant::FromDate(EncodeTime(now.hour, now.minute, now.second, now.millisecond));
}

}  // namespace

std::string BuildStatusXml(const std::string& /*request_text*/, const std::string& agent,
                           const RegionalSettings& settings, const Clock& clock) {
  std::vector<std::string> lines;
  lines.push_back(LoadResString(SXMLDeclaration));
  lines.push_back(OpeningTag(SStatus));
  lines.push_back(Element(STimestamp, CurrentDateTime(clock), DataKind::kDateTime, settings));
  lines.push_back(Element(SAgent, Variant::FromString(agent), DataKind::kString, settings));
  lines.push_back(Element(SMsgData, Variant::FromString(LoadResString(SServiceInOperation)),
                          DataKind::kString, settings));
  lines.push_back(OpeningTag(SDataTypes));
  lines.push_back(
      Element(SKindString, Variant::FromString(kStringSample), DataKind::kString, settings));
  lines.push_back(
      Element(SKindInteger, Variant::FromInteger(kIntegerSample), DataKind::kInteger, settings));
  lines.push_back(Element(SKindBoolean, Variant::FromBoolean(true), DataKind::kBoolean, settings));
  lines.push_back(
      Element(SKindFloat, Variant::FromDouble(kFloatSample), DataKind::kFloat, settings));
  lines.push_back(Element(SKindDate, CurrentDate(clock), DataKind::kDate, settings));
  lines.push_back(Element(SKindTime, CurrentTime(clock), DataKind::kTime, settings));
  lines.push_back(Element(SKindDateTime, CurrentDateTime(clock), DataKind::kDateTime, settings));
  lines.push_back(ClosingTag(SDataTypes));
  lines.push_back(ClosingTag(SStatus));
  return JoinDocumentLines(lines);
}

std::string BuildErrorXml(const std::string& message, const RegionalSettings& settings,
                          const Clock& clock) {
  std::vector<std::string> lines;
  lines.push_back(LoadResString(SXMLDeclaration));
  lines.push_back(OpeningTag(SError));
  lines.push_back(Element(STimestamp, CurrentDateTime(clock), DataKind::kDateTime, settings));
  lines.push_back(Element(SMsgData, Variant::FromString(message), DataKind::kString, settings));
  lines.push_back(ClosingTag(SError));
  return JoinDocumentLines(lines);
}

}  // namespace xg
