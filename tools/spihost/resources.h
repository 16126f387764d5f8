// What spihost finds out itself about an executable that Pelorin listed. Only
// result codes cross a plug-in's exports, so the resources that the listing
// left out are counted here: an independent walk of the file's resource tree
// (PE or NE) numbers every data entry as Pelorin numbers its positions, and
// every entry of a type that is always listed but has no member was left out.
#pragma once

#include <string>
#include <vector>

#include "commands.h"

namespace spihost {

struct ResourceReport {
  bool applies = false;  // the file was listed by Pelorin
  size_t leftOut = 0;
  bool upx = false;  // sections UPX0/UPX1 or the "UPX!" mark
};

// The report for the job's input that p listed with members (before any
// --only), read from the job's held mapping when there is one.
ResourceReport InspectResources(const Job& job, const LoadedPlugin& p, const std::vector<Member>& members);
// Writes the report's lines to the job's standard error (no failure: the
// exit status stays as it is) and returns its JSON fields (", ..." or "").
std::string ReportResources(Job& job, const ResourceReport& report);

}  // namespace spihost
