/* The reader headers compile as strict C11 (the layout checks are C11
 * static assertions) and give the same sizes at run time; the reader kit
 * finds no block under a name nobody uses. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <string.h>

#include "korvanel/reader.h"
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
  {
    KorvanelReader reader;
    if (korvanel_open(&reader, ".no-such-block.c-test", 0) != KORVANEL_OPEN_ABSENT ||
        reader.block != NULL) {
      puts("the reader kit opened a block that does not exist");
      return 1;
    }
  }
  puts("reader header compiles and lays out the block in C");
  return 0;
}
