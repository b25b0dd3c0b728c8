/* A display program for the snapshot test, written against the reader kit
 * alone (korvanel/reader.h, in C): copies the whole shared block over and
 * over, one try per copy, and checks each copy for what no single
 * publication holds: a driver twice, places out of order, or a playerIndex or
 * playerPlace (of the scoring tail or the state record) that disagrees with
 * the entries. It counts the copies, the torn ones (what a reader without
 * the protocol would take), and the torn ones the protocol called whole
 * (which must stay 0). Prints name=value lines at the end.
 *
 * usage: concurrency_snapshot_reader COPIES MAX_SECONDS
 * Waits up to 60 s for a block with a known stamp and cars in it. */
#define _POSIX_C_SOURCE 200809L
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "korvanel/reader.h"

static double now_seconds(void) {
#ifdef _WIN32
  return GetTickCount() / 1000.0;
#else
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
#endif
}

static void pause_ms(int ms) {
#ifdef _WIN32
  Sleep(ms);
#else
  struct timespec ts = {0, ms * 1000000L};
  nanosleep(&ts, NULL);
#endif
}

static int same_name(const char* a, const char* b) { return strncmp(a, b, 32) == 0; }

/* What is wrong with the copy, or NULL. Only copies from inside a session
 * whose scoring has cars are judged: before the first scoring update of a
 * session the state record and the scoring block may rightly disagree. */
static const char* problem(const KorvanelSharedBlock* b, int* judged) {
  const KorvanelScoringInfoV2* s = &b->scoring;
  int n = s->vehicleCount < KORVANEL_MAX_VEHICLES ? s->vehicleCount : KORVANEL_MAX_VEHICLES;
  int i, j, player = -1;
  *judged = 0;
  if (n <= 0 || b->state.sessionActive != 1 || b->state.noPlayerVehicle != 0) return NULL;
  *judged = 1;
  for (i = 0; i < n; ++i) {
    const KorvanelHostVehicle* v = &s->vehicles[i].host;
    if (i > 0 && v->place < s->vehicles[i - 1].host.place) return "places out of order";
    if (v->isPlayer && (v->control == 0 || v->control == 1) && player < 0) player = i;
    for (j = 0; j < i; ++j) {
      if (s->vehicles[j].host.driverName[0] == v->driverName[0] &&
          same_name(s->vehicles[j].host.driverName, v->driverName)) {
        return "a driver twice";
      }
    }
  }
  if (s->playerIndex != player) return "scoring playerIndex disagrees with the entries";
  if (b->state.playerIndex != player) return "state playerIndex disagrees with the entries";
  if (player >= 0 && s->playerPlace != s->vehicles[player].host.place) {
    return "scoring playerPlace disagrees with the entries";
  }
  if (b->state.playerPlace != s->playerPlace) return "state playerPlace disagrees with the entries";
  return NULL;
}

int main(int argc, char** argv) {
  static KorvanelSharedBlock copy;
  KorvanelReader reader;
  long target, copies = 0, judged = 0, whole = 0, torn = 0, acceptedTorn = 0;
  double limit, start;
  if (argc != 3) {
    fprintf(stderr, "usage: %s COPIES MAX_SECONDS\n", argv[0]);
    return 2;
  }
  target = atol(argv[1]);
  limit = atof(argv[2]);
  start = now_seconds();
  for (;;) {
    if (korvanel_open(&reader, NULL, 0) == KORVANEL_OPEN_OK) {
      if (korvanel_layout(&reader) == KORVANEL_LAYOUT_KNOWN &&
          korvanel_copy_block(&reader, &copy, KORVANEL_COPY_TRIES) &&
          copy.scoring.vehicleCount > 0 && copy.state.sessionActive == 1) {
        break;
      }
      korvanel_close(&reader);
    }
    if (now_seconds() - start > 60) {
      fprintf(stderr, "no published block within 60 s\n");
      return 1;
    }
    pause_ms(5);
  }
  start = now_seconds();
  while (copies < target && now_seconds() - start < limit) {
    int isWhole = korvanel_copy_block(&reader, &copy, 1);
    int counted;
    const char* wrong = problem(&copy, &counted);
    ++copies;
    judged += counted;
    whole += isWhole;
    if (wrong) {
      ++torn;
      if (isWhole) {
        if (acceptedTorn == 0) printf("accepted torn copy: %s\n", wrong);
        ++acceptedTorn;
      }
    }
  }
  printf("copies=%ld\njudged=%ld\nwhole=%ld\ntorn=%ld\naccepted_torn=%ld\nseconds=%.1f\n", copies,
         judged, whole, torn, acceptedTorn, now_seconds() - start);
  korvanel_close(&reader);
  return 0;
}
