#ifndef MPEGIN_LAYER3_PREPARED_TABLES_H
#define MPEGIN_LAYER3_PREPARED_TABLES_H

namespace mpegin {

// Computes the Layer III tables that are built at run time (the direct Huffman lookups and
// the short-block reordering), once per process; every Layer III decoder calls it when it is
// made, so that a process that decodes no Layer III stream never builds them. Thread-safe.
void prepare_layer3_tables();

}  // namespace mpegin

#endif
