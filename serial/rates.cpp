#include "serial/rates.h"

namespace qv {

const Rate& RateFromText(std::string_view text) {
  for (const Rate& rate : kRates)
    if (rate.text == text) return rate;
  return kRates[0];
}

}  // namespace qv
