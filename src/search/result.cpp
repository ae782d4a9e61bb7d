#include "search/result.h"

namespace zelk {

SearchResult result;

} // namespace zelk
