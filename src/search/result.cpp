#include "search/result.h"

namespace zelk {

SearchResult result;
CounterTotals totals;

} // namespace zelk
