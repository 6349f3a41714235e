#pragma once
// The two files a track is written as: GPX 1.1 (the points with a fix, one
// track segment) and CSV (every epoch, those without a fix marked "none").

#include <string>
#include <string_view>

#include "export/track_export.h"

namespace ferrolan::track {

// "2011-02-21T10:21:28Z", with the fraction of the second when there is
// one; "10:21:28" when the date is not known.
std::string timeText(const Time& t);

// The two documents a point at a time, for a log read as a stream: the
// opening text, each point's (empty for a GPX point without a fix), the
// closing text.
std::string gpxBegin(std::string_view name);
std::string gpxPoint(const Point& p);
std::string gpxEnd();
std::string csvHeader();
std::string csvRow(const Point& p);

// `name` names the track (the log's file name); any byte outside printable
// ASCII is written as "?".
std::string gpxDocument(const Track& track, std::string_view name);

// Header "time,latitude,longitude,altitude,fix,used,hdop"; fix is none, 2d
// or 3d; a value the receiver did not give is left empty.
std::string csvDocument(const Track& track);

}  // namespace ferrolan::track
