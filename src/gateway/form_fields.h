// The form fields of a request body: the URL-encoded body split into fields, each decoded, kept
// in body order as "name=value" entries (or just a name, or empty).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace xg {

class FormFieldList {
 public:
  size_t Count() const { return entries_.size(); }
  const std::string& operator[](size_t index) const { return entries_[index]; }
  void Add(std::string entry) { entries_.push_back(std::move(entry)); }

  // The text after "name=" of the first entry whose name equals `name` without regard to letter
  // case (ASCII and ISO-8859-1 letters); empty text when none matches. An entry without "="
  // never matches, so an absent field and an empty value read alike.
  std::string Values(const std::string& name) const;

 private:
  std::vector<std::string> entries_;
};

// Decodes one URL-encoded field: "+" is a blank, "%%" one percent sign, "%XX" the byte XX.
// Raises EWebException when a "%" lacks its two bytes and EConvertError when they are not
// hexadecimal digits; both report the 1-based position of the "%".
std::string UrlDecode(const std::string& text);

// Splits a body into fields and adds each decoded field to `fields`, in order. The body ends at
// its first NUL byte. "&", CR, LF and double quotes separate fields; a quoted run keeps its
// separators. A decoding failure leaves the fields added so far in the list.
void ParseFormFields(const std::string& body, FormFieldList& fields);

}  // namespace xg
