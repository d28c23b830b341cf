// Progress log and checkpoint files of the search.
#include "search/checkpoint.h"

#include <cstdio>

#include "runctl/file_io.h"
#include "search/archive.h"
#include "state/variables.h"

void ReadMidResult4(int32_t& failed, int32_t& repeat) {
  failed = 1;
  repeat = 0;
}

void WriteIntVector(const std::vector<int32_t>& values, std::string& text) {
  std::size_t linestart = text.size();
  for (int32_t x : values) {
    const std::string item = std::to_string(x) + ",";
    if (text.size() - linestart + item.size() >= 999) {
      text += '\n';
      linestart = text.size();
    }
    text += item;
  }
  text += '\n';
}

void SaveMidResult() {
  Variables& v = variables;
  if (v.threadid != 0) return;
  const int32_t n = v.smplsize;
  const int32_t sections = (v.allmonogamy == 1 && v.numsex == 2) ? 1 : 3;
  AtomicTextFile out(v.midfilename(2));
  std::string text;
  std::vector<int32_t> column(static_cast<std::size_t>(n));
  char head[64];
  for (const ConfigRecord& record : v.ConfigArchive) {
    double logl = 0.0;
    ConvertConfig(record, logl);
    std::snprintf(head, sizeof head, "%30.20E\n", logl);
    text = head;
    for (int32_t c = 1; c <= sections; ++c) {
      for (int32_t i = 1; i <= n; ++i) column[static_cast<std::size_t>(i - 1)] = v.OffTgt(i, c);
      WriteIntVector(column, text);
    }
    // Entry f of a sex's vector: the candidate assigned to its family f.
    for (int32_t k = 1; k <= 2; ++k) {
      if (v.numchild(k) < 1) continue;
      for (int32_t f = 1; f <= n; ++f) {
        column[static_cast<std::size_t>(f - 1)] =
            static_cast<std::size_t>(f) <= v.PrntTgt.rows() ? v.PrntTgt(f, k) : 0;
      }
      WriteIntVector(column, text);
    }
    out << text;
  }
  out.Commit();
}
