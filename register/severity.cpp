#include "register/severity.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "dataset/data_set.h"
#include "dataset/fields/field.h"
#include "dataset/try_finally.h"
#include "storage/engine_data_set.h"
#include "storage/stored_text.h"

namespace snyltdyr {

std::optional<int32_t> AverageScore(uint32_t sum, int32_t count) {
  const auto signed_sum = static_cast<int32_t>(sum);
  if (count == 0 || (signed_sum == INT32_MIN && count == -1)) return std::nullopt;
  return signed_sum / count;
}

int32_t AmountScore(std::string_view mengde) {
  auto has = [&](char c) { return mengde.find(c) != std::string_view::npos; };
  int32_t score = 0;
  if (has('S')) score += 20;
  if (has('M')) score += 50;
  if (has('L')) score += 80;
  if (has('+')) score += 10;
  if (has('-')) score -= 10;
  return score;
}

std::string GradeText(int32_t average) {
  if (average < 0 || average > 100) return {};
  static const char* const kBands[] = {"S-", "S", "S+", "M-", "M", "M+", "L-", "L", "L+"};
  // Bands of ten starting at 15; the first reaches down to 0, the last up to 100.
  const int32_t band = average < 15 ? 0 : std::min<int32_t>((average - 15) / 10 + 1, 8);
  return kBands[band];
}

std::string SnittText(int32_t average) {
  return GradeText(average) + " " + std::to_string(average);
}

void CountAndGrade(TDataSet& table, const TField& mengde, SelectionFigures& figures) {
  table.SuspendControls();
  TryFinally(
      [&] {
        figures.last_average = 0;
        // The sum is a 32-bit total; it wraps rather than overflows. The order of the
        // walk does not matter to it, so the dataset may go through the records as they
        // lie in the file.
        uint32_t sum = 0;
        // The amount is read straight from the pass's record when that is the same text
        // (plain ASCII), else through the field.
        const auto* engine_table = dynamic_cast<const TEngineDataSet*>(&table);
        const TStoredText stored(mengde);
        // The count of the same pass serves both the box and the division: the two must
        // agree anyway, and a second walk would double the time.
        const int32_t total = table.VisitSelection([&] {
          std::string_view text;
          const char* record = engine_table != nullptr ? engine_table->PassRecord() : nullptr;
          sum += static_cast<uint32_t>(record != nullptr && stored.Read(record, text)
                                           ? AmountScore(text)
                                           : AmountScore(mengde.AsString()));
        });
        figures.antall = std::to_string(total);
        const std::optional<int32_t> average = AverageScore(sum, total);
        if (average) {
          figures.last_average = *average;
          figures.grad = SnittText(*average);
        }
      },
      [&] { table.ResumeControls(); });
}

}  // namespace snyltdyr
