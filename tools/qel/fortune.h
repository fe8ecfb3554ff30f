// Records of the Chinese fortune files (fortunes-zh): entries separated by lines "%",
// terminal colour codes dropped. A file whose name starts with tang300 holds Tang poems,
// song100 Song poems, anything else sayings.
//
// A poem gives "title" (from 《...》 on its first line, or after 题目), "keyword" (the
// series or tune: the title before "・"), "author" (after 作者：, without life dates),
// "source" (唐诗三百首 or 宋词一百首), "lines" (the number of lines of text) and "text"
// (its lines, blank ones dropped). A saying gives "title" (a short first line followed by
// a blank line), "author" and "keyword" (from a closing line "-- author《work》"), "source"
// (格言), "lines" and "text". Entries with neither text nor title are skipped.
#ifndef QEL_TOOLS_FORTUNE_H_
#define QEL_TOOLS_FORTUNE_H_

#include <string>
#include <string_view>
#include <vector>

#include "sources.h"

namespace qel::cli {

// The records of a fortune file's UTF-8 text; path names the file.
std::vector<SourceRecord> FortuneRecords(std::string_view text, std::string const& path);

}  // namespace qel::cli

#endif  // QEL_TOOLS_FORTUNE_H_
