// The install-status report sent from Windows (status_report_win32.cpp):
// gathers the report facts once per process, consumes the install status the
// package left, POSTs the body of status_report.h and logs the exchange.
#pragma once

#include <cstdint>

#include "reporting/network_dialogs.h"
#include "reporting/status_report.h"

namespace kova {

// The report facts of this process, gathered on its first report.
ReportFacts& ProcessReportFacts();

// Posts the install-status report for a failed install and logs the
// server's answer; nothing is sent for an empty or untrusted URL, or an
// install status of "reinstall" or "decline", and nothing is logged when the
// request never reached the server. dialogs: whether a proxy's 407 or a send
// error may ask the user.
void PostInstallStatus(const char* post_status_url, const char* install_method,
                       const char* report_state, const char* country, const char* build,
                       int32_t exit_code, NetworkDialogs dialogs);

}  // namespace kova
