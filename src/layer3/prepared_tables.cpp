#include "layer3/prepared_tables.h"

#include "layer3/huffman_direct_tables.h"
#include "layer3/reorder_table.h"

namespace mpegin {

void prepare_layer3_tables() {
  // Built by the first caller; a second thread calling meanwhile waits for it.
  static const bool prepared = (huffman_direct.build(), reorder_table.build(), true);
  (void)prepared;
}

}  // namespace mpegin
