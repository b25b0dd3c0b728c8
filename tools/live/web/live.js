// The live timing page and its overlays: one snapshot at load, then the
// WebSocket stream with only the parts the view shows.
// URL parameters (docs/live.md): view=standings|relative|delta|fuel (one
// overlay filling the window; none: the full page), rows=N (standings: the
// leaders and the cars around you, N rows), ref=last (delta to the last
// lap instead of the best), race=30L|45m (the race's length in laps or
// minutes, for fuel), transparent=1 (over a video), compact=1 (fewer
// columns; alone, the standings overlay), rate=N (frames a second, 1 to
// 60), car=NAME (on a korvanel-live that follows cars through a broker:
// which one).
"use strict";

const SCHEMA_VERSION = 1;  // the meaning of fields this page reads
const params = new URLSearchParams(location.search);
const on = (name) => ["1", "true", "yes"].includes(params.get(name));
const VIEWS = {
  standings: { parts: "session,standings,classes,history", rate: 10 },
  relative: { parts: "session,classes,relative", rate: 10 },
  delta: { parts: "session,delta", rate: 30 },
  fuel: { parts: "session,player,classes,fuel,delta", rate: 5 },
};
// compact=1 without a view is the stream overlay of earlier releases: the standings.
const view = VIEWS[params.get("view")] ? params.get("view") : on("compact") ? "standings" : "";
const body = document.body;
if (view) body.classList.add("overlay", "view-" + view);
if (on("transparent")) body.classList.add("transparent");
if (on("compact")) body.classList.add("compact");
const rate = Math.min(60, Math.max(1, parseInt(params.get("rate"), 10) || (view ? VIEWS[view].rate : 10)));
const rows = Math.max(0, parseInt(params.get("rows"), 10) || 0);
const refLast = params.get("ref") === "last";
const race = /^(\d{1,5}[lLmM]|none)$/.test(params.get("race") || "") ? params.get("race") : "";
const car = params.get("car") || "";
const query = [view ? "parts=" + VIEWS[view].parts : "", race ? "race=" + race : "",
               car ? "car=" + encodeURIComponent(car) : ""].filter(Boolean).join("&");

const $ = (id) => document.getElementById(id);

const STATUS_TEXT = {
  "connecting": "Connecting to korvanel-live\u2026",
  "offline": "korvanel-live is not reachable: is it still running? Trying again\u2026",
  "no-plugin": "Waiting for the simulator: the Korvanel plugin is not running. The page follows as soon as it starts.",
  "idle": "The plugin is loaded but not publishing: the simulator is in its menus or paused.",
  "stopped": "The simulator has stopped the plugin. The page follows when it starts again.",
  "refused": "The plugin's shared block cannot be read:",
  "unknown-layout": "The plugin publishes a layout this korvanel-live does not know: install the korvanel-live of the plugin's release.",
  "stale": "This car's korvanel-live has gone silent (the broker announced it gone): the picture is its last.",
  "waiting": "Waiting for a car to publish to the broker\u2026",
  "schema": "korvanel-live serves a newer kind of document than this page reads: reload the page.",
};

// ---- figures as text
function lapTime(s) {
  if (!(s > 0)) return "--";
  const m = Math.floor(s / 60);
  return m + ":" + (s - m * 60).toFixed(3).padStart(6, "0");
}
function clock(s) {
  if (!(s >= 0)) return "--";
  s = Math.floor(s);
  const h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60, r = s % 60;
  return (h ? h + ":" + String(m).padStart(2, "0") : m) + ":" + String(r).padStart(2, "0");
}
// One convention everywhere: positive behind, "+1 L" one lap behind.
function gap(time, laps) {
  if (laps >= 1 || laps <= -1) return (laps > 0 ? "+" : "\u2212") + Math.abs(Math.trunc(laps)) + " L";
  if (typeof time !== "number" || time === 0) return "";
  return (time > 0 ? "+" : "\u2212") + Math.abs(time).toFixed(time >= 100 || time <= -100 ? 1 : 3);
}
function num(v, digits) { return typeof v === "number" && isFinite(v) ? v.toFixed(digits) : "--"; }
function sessionName(code) {
  if (code >= 10 && code <= 13) return "Race";
  if (code >= 5 && code <= 8) return "Qualifying";
  if (code >= 1 && code <= 4) return "Practice";
  return "Session " + code;
}
function cell(tr, text, className) {
  const td = document.createElement("td");
  if (text instanceof Node) td.appendChild(text); else td.textContent = String(text);
  if (className) td.className = className;
  tr.appendChild(td);
  return td;
}
const PALETTE = ["#ffb02e", "#3fc1ff", "#ff5fa2", "#8fe36b", "#c59bff", "#ff8a5c"];
function classColours(p) {
  const colours = new Map();
  for (const c of p.classes || []) colours.set(c.name, c.color);
  for (const v of p.vehicles || []) {
    if (!colours.has(v.vehicleClass)) colours.set(v.vehicleClass, PALETTE[colours.size % PALETTE.length]);
  }
  return colours;
}
function chip(text, colour) {
  const span = document.createElement("span");
  span.className = "chip";
  colour = /^#[0-9a-f]{6}$/i.test(colour || "") ? colour : "#888888";
  span.style.background = colour;
  // Dark letters on a light colour, white on a dark one.
  const [r, g, b] = [1, 3, 5].map((i) => parseInt(colour.slice(i, i + 2), 16));
  span.style.color = 0.299 * r + 0.587 * g + 0.114 * b > 140 ? "#000" : "#fff";
  span.textContent = text;
  return span;
}

function setStatus(status, problem) {
  const el = $("status");
  el.dataset.status = status;
  el.textContent = (STATUS_TEXT[status] || ("Status: " + status)) + (problem ? " " + problem : "");
  body.classList.toggle("offline", status !== "publishing");
}

let picture = {};  // the latest parts, merged: a subset stream updates what it carries
const KEYS = ["state", "session", "scoring", "telemetry", "vehicles", "timeTable", "sectorRecords",
              "engineer", "classes", "classStandings", "relative", "delta", "fuel", "sessionBests", "history"];

function render(doc) {
  if (doc.schemaVersion !== SCHEMA_VERSION) { setStatus("schema"); return; }
  setStatus(doc.status, doc.problem);
  for (const key of KEYS) if (key in doc) picture[key] = doc[key];
  if (!doc.vehicles && !doc.delta && doc.status !== "publishing" && doc.status !== "idle") return;
  const p = picture;
  body.dataset.update = String(doc.updateCount);
  renderHeader(p);
  if (!view || view === "standings") renderStandings(p);
  if (!view || view === "relative") renderRelative(p);
  if (!view || view === "delta") renderDelta(p);
  if (!view || view === "fuel") renderFuel(p);
  if (!view) renderRecords(p);
  fit();
}

function renderHeader(p) {
  const s = p.session, e = p.engineer;
  if (s) {
    $("track").textContent = s.trackName;
    $("session").textContent = sessionName(s.session);
    $("clock").textContent = clock(s.currentTime);
  }
  const length = e && e.raceLength;
  let left = "";
  if (length && length.minutes > 0 && s) left = clock(Math.max(0, length.minutes * 60 - s.currentTime)) + " left";
  else if (p.fuel && typeof p.fuel.lapsToFinish === "number") left = num(p.fuel.lapsToFinish, 1) + " laps to go";
  $("left").textContent = left;
  $("since").textContent = e && e.since
      ? "since " + new Date(e.since).toLocaleTimeString([], { hour: "2-digit", minute: "2-digit" }) : "";
}

// Class places by class name in race order, for a server without the engineer.
function classPlaces(cars) {
  const seen = new Map(), out = new Map();
  for (const v of cars) {
    const n = (seen.get(v.vehicleClass) || 0) + 1;
    seen.set(v.vehicleClass, n);
    out.set(v.index, { classPlace: n });
  }
  return out;
}

// The rows shown with rows=N: the first three, then the cars around the player.
function aroundMe(cars, playerIndex) {
  if (!rows || cars.length <= rows) return cars;
  const top = Math.min(3, rows);
  const me = cars.findIndex((v) => v.index === playerIndex);
  if (me < top + 0) return cars.slice(0, rows);
  const n = rows - top;
  let from = Math.max(top, Math.min(me - Math.floor((n - 1) / 2), cars.length - n));
  const shown = cars.slice(0, top).concat(cars.slice(from, from + n));
  if (from > top) shown[top] = Object.assign({ cut: true }, shown[top]);
  return shown;
}

function renderStandings(p) {
  if (!p.vehicles) return;
  const colours = classColours(p);
  const cars = p.vehicles.slice().sort((a, b) => (a.place || 999) - (b.place || 999));
  const standing = p.classStandings ? new Map(p.classStandings.map((c) => [c.index, c])) : classPlaces(cars);
  const history = new Map((p.history || []).map((h) => [h.index, h]));
  const playerIndex = p.scoring ? p.scoring.playerIndex : -1;
  // The plugin's class row: the page names the class it selects.
  const row = p.state ? p.state.selectedClassRow : 0;
  const grouped = row > 0 && p.scoring && !p.scoring.noClassGroup;
  const groupCar = grouped && p.vehicles.find((v) => v.inClassGroup);
  $("standings-title").textContent = "Standings" + (groupCar ? " \u00b7 class row: " + groupCar.vehicleClass : "");
  const tbody = document.createElement("tbody");
  tbody.id = "cars";
  for (const v of aroundMe(cars, playerIndex)) {
    const c = standing.get(v.index) || {};
    const h = history.get(v.index);
    const tr = document.createElement("tr");
    tr.className = "car" + (v.index === playerIndex ? " player" : "") + (v.inPits ? " pit" : "") +
                   (v.cut ? " cut" : "");
    tr.dataset.index = v.index;
    tr.dataset.driver = v.driverName;
    tr.dataset.place = v.place;
    tr.dataset.classPlace = c.classPlace || "";
    cell(tr, v.place, "num");
    cell(tr, chip(c.classPlace ? "P" + c.classPlace : "-", colours.get(v.vehicleClass)), "cls");
    cell(tr, v.driverName + (v.teamMember ? " \u2605" : ""), "name");
    cell(tr, v.vehicleName, "wide name");
    cell(tr, v.vehicleClass, "wide");
    cell(tr, v.lapsCompleted, "num");
    // The engineer's history starts with the server; before its first lap
    // the block's own times stand in.
    const last = h && h.lastLap && h.lastLap.time > 0 ? h.lastLap : null;
    const lastTd = cell(tr, lapTime(last ? last.time : v.lastLapTime), "num");
    const mark = last && last.marks ? last.marks[last.marks.length - 1] : "none";
    if (mark === "session" || mark === "personal") lastTd.classList.add(mark);
    cell(tr, lapTime(h && h.bestLap > 0 ? h.bestLap : v.bestLapTime), "num");
    cell(tr, c.classPlace === 1 ? "" : gap(c.gapToClassLeader, c.lapsToClassLeader), "num");
    cell(tr, c.classPlace === 1 ? "" : gap(c.gapToClassAhead, c.lapsToClassAhead), "num");
    cell(tr, v.inPits ? "PIT" : h && h.pit ? h.pit.stops : "", "num");
    cell(tr, h && h.pit ? h.pit.stintLaps : "", "wide num");
    cell(tr, h && typeof h.gapTrend === "number" && h.gapTrend !== 0 ? gap(h.gapTrend, 0) : "", "wide num");
    tbody.appendChild(tr);
  }
  $("cars").replaceWith(tbody);
}

function renderRelative(p) {
  if (!p.relative) return;
  const places = new Map((p.classStandings || []).map((c) => [c.index, c.classPlace]));
  const tbody = document.createElement("tbody");
  tbody.id = "relative-cars";
  for (const r of p.relative.cars || []) {
    const tr = document.createElement("tr");
    tr.className = "car " + r.mark + (r.mark === "player" ? " player" : "") + (r.inPits ? " pit" : "");
    tr.dataset.index = r.index;
    tr.dataset.driver = r.driverName;
    tr.dataset.gap = r.gap;
    const place = places.get(r.index);
    cell(tr, chip(place ? "P" + place : r.vehicleClass.slice(0, 4), r.classColor), "cls");
    cell(tr, r.driverName, "name");
    cell(tr, r.inPits ? "PIT" : "", "");
    cell(tr, r.mark === "lapping" ? "\u25b2" : r.mark === "lapped" ? "\u25bc" : "", "");
    cell(tr, r.mark === "player" ? "" : gap(r.gap, 0), "num");
    tbody.appendChild(tr);
  }
  $("relative-cars").replaceWith(tbody);
}

function renderDelta(p) {
  const d = p.delta;
  if (!d) return;
  const value = refLast ? d.toLast : d.toBest;
  $("delta-ref").textContent = refLast ? "vs last lap" : "vs best lap";
  const el = $("delta-value"), fill = $("delta-fill");
  el.dataset.value = typeof value === "number" ? value.toFixed(3) : "";
  el.textContent = typeof value === "number" ? (value > 0 ? "+" : value < 0 ? "\u2212" : "") + Math.abs(value).toFixed(2) : "--";
  const kind = typeof value !== "number" ? "" : value < 0 ? "faster" : value > 0 ? "slower" : "";
  el.className = fill.className = kind;
  // Half the bar is two seconds.
  const share = typeof value === "number" ? Math.min(1, Math.abs(value) / 2) * 50 : 0;
  fill.style.width = share + "%";
  fill.style.left = value < 0 ? 50 - share + "%" : "50%";
  $("delta-predicted").textContent = lapTime(d.predictedLap);
  $("delta-last").textContent = lapTime(d.lastLap);
  $("delta-best").textContent = lapTime(d.bestLap);
}

function renderFuel(p) {
  const f = p.fuel, e = p.engineer;
  if (f) {
    $("fuel-level").textContent = num(f.level, 1);
    $("fuel-per-lap").textContent = num(f.perLap, 2);
    $("fuel-laps").textContent = num(f.lapsLeft, 1);
    $("fuel-to-go").textContent = num(f.lapsToFinish, 1);
    $("fuel-to-finish").textContent = num(f.toFinish, 1);
    $("fuel-to-add").textContent = num(f.toAdd, 1);
  }
  const length = e && e.raceLength;
  $("race-length").textContent = !length ? "(race length not given)"
      : length.laps > 0 ? "\u00b7 " + length.laps + " laps" : "\u00b7 " + length.minutes + " min";
  const s = p.scoring, me = s && (p.vehicles || []).find((v) => v.index === s.playerIndex);
  if (me) {
    const c = (p.classStandings || []).find((x) => x.index === me.index);
    $("you").textContent = me.driverName + " \u00b7 P" + me.place +
        (c ? " \u00b7 " + me.vehicleClass + " P" + c.classPlace + "/" + c.classCount : "");
  }
  const st = p.state, kers = st && st.kersTimerOn === 1;
  for (const el of document.querySelectorAll(".kers")) el.hidden = !kers;
  if (kers) $("kers").textContent = num(st.kersRemaining, 1) + " s" + (st.kersRunning ? " running" : "");
}

function renderRecords(p) {
  const t = p.timeTable, r = p.sectorRecords;
  if (t) {
    $("fastest-lap").textContent = t.fastestLap.time > 0
        ? lapTime(t.fastestLap.time) + " by " + t.fastestLap.driver : "none yet";
  }
  if (r) {
    const box = $("sectors");
    box.textContent = "Sector records: ";
    [1, 2, 0].forEach((slot, n) => {
      const rec = r.slots.find((x) => x.slot === slot);
      const b = document.createElement("b");
      b.textContent = "S" + (n + 1) + " " + (rec.time > 0 ? rec.time.toFixed(3) + " " + rec.holder : "--");
      box.appendChild(b);
      box.appendChild(document.createTextNode(n < 2 ? "  \u00b7  " : ""));
    });
  }
}

// An overlay fills its window: the root font size is scaled until nothing
// overflows, measured again only when the rows or the window change.
// The page itself only must not scroll sideways. What came out is left on
// the body (data-font, data-overflow, data-overflow-x) for tests.
let fitted = "";
function fit() {
  const root = document.documentElement;
  const key = innerWidth + "x" + innerHeight + ":" + document.querySelectorAll("tr").length;
  if (key === fitted) return;
  fitted = key;
  if (view) {
    let size = Math.max(14, Math.min(innerHeight / 14, innerWidth / 24, view === "standings" ? 26 : 40));
    root.style.fontSize = size + "px";
    for (let i = 0; i < 4; i++) {
      const scale = Math.min(innerHeight / root.scrollHeight, innerWidth / root.scrollWidth);
      if (scale >= 1) break;
      size = Math.max(8, Math.floor(size * scale * 0.98 * 4) / 4);
      root.style.fontSize = size + "px";
    }
  }
  body.dataset.font = getComputedStyle(root).fontSize.replace("px", "");
  body.dataset.overflow = root.scrollHeight > innerHeight || root.scrollWidth > innerWidth ? "1" : "0";
  body.dataset.overflowX = root.scrollWidth > innerWidth ? "1" : "0";
  body.dataset.window = innerWidth + "x" + innerHeight;
}
addEventListener("resize", () => { fitted = ""; fit(); });

// A korvanel-live that follows cars lists them: a picker and the age of
// the shown car's data. One serving its own block answers 404, once.
function pollCars() {
  fetch("/api/v1/cars", { cache: "no-store" })
    .then((r) => (r.ok ? r.json() : null))
    .then((d) => {
      if (!d) return;
      const picker = $("car");
      picker.hidden = false;
      const shown = car || (d.cars.length ? d.cars[0].car : "");
      picker.replaceChildren(...d.cars.map((c) => {
        const o = document.createElement("option");
        o.value = c.car;
        o.textContent = c.car + (c.status === "stale" ? " (silent)" : "");
        o.selected = c.car === shown;
        return o;
      }));
      const mine = d.cars.find((c) => c.car === shown);
      const age = $("age");
      age.textContent = !d.connected ? "broker unreachable"
          : mine && mine.ageSeconds >= 0 ? "data " + mine.ageSeconds.toFixed(1) + " s old" +
              (mine.gaps ? ", last gap " + mine.lastGapSeconds.toFixed(1) + " s" : "") : "";
      age.className = !d.connected || (mine && (mine.status === "stale" || mine.ageSeconds > 5))
          ? "late" : "";
      setTimeout(pollCars, 1000);
    })
    .catch(() => setTimeout(pollCars, 2000));
}
$("car").addEventListener("change", (e) => {
  params.set("car", e.target.value);
  location.search = params.toString();
});

function connect() {
  const ws = new WebSocket((location.protocol === "https:" ? "wss://" : "ws://") + location.host +
                           "/api/v1/stream?rate=" + rate + (query ? "&" + query : ""));
  ws.onmessage = (event) => {
    const doc = JSON.parse(event.data);
    if (!doc.reply) render(doc);
  };
  ws.onclose = () => { setStatus("offline"); setTimeout(connect, 2000); };
}

if (!view) pollCars();
fetch("/api/v1/snapshot" + (query ? "?" + query : ""), { cache: "no-store" })
  .then((r) => r.json())
  .then(render)
  .catch(() => setStatus("offline"))
  .finally(connect);
