#include "layer3/prepared_tables.h"

#include "layer3/huffman_direct_tables.h"
#include "layer3/reorder_table.h"

namespace mpegin {

void prepare_layer3_tables() {
  huffman_direct.prepare();
  reorder_table.prepare();
}

}  // namespace mpegin
