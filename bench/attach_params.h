// The attach parameters of the benchmarks' own Firebird clients (client_floor.cpp,
// idle_attachments.cpp): the user and the password, as the gateway sends them.
#pragma once

#include <ibase.h>

#include <string>

inline std::string AttachParams(const std::string& user, const std::string& password) {
  std::string params(1, isc_dpb_version1);
  const auto append = [&params](char tag, const std::string& value) {
    params += tag;
    params += static_cast<char>(value.size());
    params += value;
  };
  append(isc_dpb_user_name, user);
  append(isc_dpb_password, password);
  return params;
}
