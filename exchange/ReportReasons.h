// Why a Report ended a request, in words for the operator: each counter a
// Report can carry (UsmReports.h's names), said in Japanese with its own
// name after it, so that the message field's beginning tells what happened.
#pragma once

#include <string>
#include <string_view>

namespace quillet {

// "認証に失敗しました（パスフレーズまたは鍵の誤り：usmStatsWrongDigests）",
// ... for the counters RFC 3414 and RFC 3412 define; for any other name
// "エージェントがReportを返しました（NAME）", and for an empty one (a Report
// that could not be read) "エージェントがReportを返しました".
std::string ReportCounterWords(std::string_view counterName);

}  // namespace quillet
