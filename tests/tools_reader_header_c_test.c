/* The reader header compiles as C (its layout checks are C11 static
 * assertions) and gives the same sizes at run time. */
#include <stdio.h>
#include <string.h>

#include "korvanel/shared_block.h"

int main(void) {
  static KorvanelSharedBlock block;
  memset(&block, 0, sizeof block);
  block.state.selectedClassRow = 2;
  if (sizeof block != KORVANEL_SHARED_BLOCK_SIZE ||
      (size_t)((const char*)&block.state.selectedClassRow - (const char*)&block) !=
          KORVANEL_OFFSET_STATE + 42u ||
      strcmp(KORVANEL_SHARED_BLOCK_NAME, "$Quorvex2KORVANEL$") != 0) {
    puts("reader header layout differs in C");
    return 1;
  }
  puts("reader header compiles and lays out the block in C");
  return 0;
}
