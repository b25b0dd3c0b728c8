/* Prints the offset and size of every field of the reader header, one line
 * per field ("Record.field offset size"), for the test that holds the header
 * and the Python reader to the one field description. C, so the header is
 * held to it as C programs compile it; the Windows build prints the 32-bit
 * layout. */
#include <stddef.h>
#include <stdio.h>

#include "korvanel/shared_block.h"

#define KORVANEL_FIELD(record, field)                                                   \
  printf("%s.%s %u %u\n", #record, #field, (unsigned)offsetof(Korvanel##record, field), \
         (unsigned)sizeof(((Korvanel##record*)0)->field));

int main(void) {
#include "tests/shared_block_fields.inc"
  printf("SharedBlock %u\n", (unsigned)sizeof(KorvanelSharedBlock));
  return 0;
}
