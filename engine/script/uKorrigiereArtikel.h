// The correction of one loaded article: the profile's script (Sub CheckAbort,
// Sub main) and, around it, the automatic corrections the profile switches on,
// in one fixed order.
#pragma once

#include <ctime>
#include <string>

class TArtikel;
class TVQEinstellungen;
class TVQSkript;

// Runs the whole correction; true when the article changed. The article's
// LastAction is set from the profile before the script runs and tells the
// caller what to do with the file. The exit code of Sub main goes where the
// script object's RunExitCode points.
bool KorrigiereArtikel(TVQSkript& Script, TVQEinstellungen& Settings, TArtikel& Article);

// Makes the driver's per-file routine correct every article it loads: each
// file gets a script object of its own, served by the driver's run (its
// news-server session and exit code), KorrigiereArtikel, and Sub AfterAll
// after the file action. Run once at start-up.
void InstallArticleCorrection();

// A Date header value for the instant Time: "Tue, 08 Dec 2026 07:24:00 +0100"
// in local time with the zone's offset in hours and minutes, or in UTC with
// "GMT" (also when the local offset is 0).
std::string FormatRfcDate(bool gmt, std::time_t time);
// The local zone's offset from UTC at Time, in minutes east.
int TimeZoneOffsetMinutes(std::time_t time);
