// The live timing page: one snapshot at load, then the WebSocket stream.
// URL parameters: transparent=1 (no background, for a browser source),
// compact=1 (fewer columns), rate=N (frames a second, 1 to 60), car=NAME
// (on a korvanel-live that follows cars through a broker: which one).
"use strict";

const params = new URLSearchParams(location.search);
const on = (name) => ["1", "true", "yes"].includes(params.get(name));
if (on("transparent")) document.body.classList.add("transparent");
if (on("compact")) document.body.classList.add("compact");
const rate = Math.min(60, Math.max(1, parseInt(params.get("rate") || "10", 10) || 10));
const car = params.get("car") || "";
const carQuery = car ? "car=" + encodeURIComponent(car) : "";

const $ = (id) => document.getElementById(id);

const STATUS_TEXT = {
  "connecting": "Connecting to korvanel-live\u2026",
  "offline": "korvanel-live is not reachable: is it still running? Trying again\u2026",
  "no-plugin": "Waiting for the simulator: the Korvanel plugin is not running. The page follows as soon as it starts.",
  "idle": "The plugin is loaded but not publishing: the simulator is in its menus or paused.",
  "stopped": "The simulator has stopped the plugin. The page follows when it starts again.",
  "unknown-layout": "The plugin publishes a layout this korvanel-live does not know: install the korvanel-live of the plugin's release.",
  "stale": "This car's korvanel-live has gone silent (the broker announced it gone): the picture is its last.",
  "waiting": "Waiting for a car to publish to the broker\u2026",
};

function lapTime(s) {
  if (!(s > 0)) return "--";
  const m = Math.floor(s / 60);
  const rest = (s - m * 60).toFixed(3).padStart(6, "0");
  return m + ":" + rest;
}
function seconds(s) { return s > 0 ? s.toFixed(3) : "--"; }
function gap(time, laps) {
  if (laps <= -1 || laps >= 1) return (laps > 0 ? "+" : "") + Math.trunc(laps) + " L";
  if (time === 0) return "";
  return (time > 0 ? "+" : "") + time.toFixed(3);
}
function num(v, digits) { return typeof v === "number" && isFinite(v) ? v.toFixed(digits) : "--"; }
function sessionName(code) {
  if (code >= 10 && code <= 13) return "Race";
  if (code >= 5 && code <= 8) return "Qualifying";
  if (code >= 1 && code <= 4) return "Practice";
  return "Session " + code;
}

function setStatus(status) {
  const el = $("status");
  el.dataset.status = status;
  el.textContent = STATUS_TEXT[status] || ("Status: " + status);
}

let picture = {};  // the latest parts, merged: a subset stream updates what it carries

function render(doc) {
  setStatus(doc.status);
  for (const key of ["state", "session", "scoring", "telemetry", "vehicles", "timeTable", "sectorRecords"]) {
    if (key in doc) picture[key] = doc[key];
  }
  if (!doc.vehicles && doc.status !== "publishing" && doc.status !== "idle") return;
  const p = picture;
  if (p.session) {
    $("track").textContent = p.session.trackName;
    $("session").textContent = sessionName(p.session.session);
    $("clock").textContent = lapTime(p.session.currentTime);
  }
  renderStandings(p);
  renderPlayer(p);
  renderRecords(p);
}

function bestLaps(p) {
  const best = new Map();
  for (const e of (p.timeTable && p.timeTable.entries) || []) {
    best.set(e.driverName + "\u0000" + e.vehicleName, e.bestLapTime);
  }
  return best;
}

function renderStandings(p) {
  if (!p.vehicles || !p.scoring) return;
  const grouped = !p.scoring.noClassGroup;
  const row = p.state ? p.state.selectedClassRow : 0;
  const section = $("standings");
  section.dataset.grouped = grouped ? "1" : "0";
  section.dataset.classRow = String(row);
  $("standings-title").textContent = grouped && row > 0
      ? "Class row " + row : "Standings";
  const best = bestLaps(p);
  const body = document.createElement("tbody");
  body.id = "cars";
  for (const v of p.vehicles) {
    if (grouped && !v.inClassGroup) continue;
    const you = v.index === p.scoring.playerIndex;
    const tr = document.createElement("tr");
    tr.className = "car" + (you ? " player" : "") + (v.inPits ? " pit" : "");
    tr.dataset.driver = v.driverName;
    tr.dataset.classPosition = String(v.classPosition);
    const bestLap = best.get(v.driverName + "\u0000" + v.vehicleName);
    const cells = [
      v.place,
      v.classPosition > 0 ? v.classPosition : "-",
      v.driverName + (v.teamMember ? " \u2605" : ""),
      v.vehicleName,
      v.vehicleClass,
      v.lapsCompleted,
      gap(v.timeBehindClassAhead, v.lapDiffToClassAhead),
      gap(v.timeBehindClassLeader, v.lapDiffToClassLeader),
      you ? "" : gap(v.timeGapToPlayer, v.lapGapToPlayer),
      lapTime(bestLap !== undefined ? bestLap : v.bestLapTime),
    ];
    const wide = new Set([3, 4]);
    cells.forEach((text, i) => {
      const td = document.createElement("td");
      td.textContent = String(text);
      if (wide.has(i)) td.className = "wide";
      if (i === 1) td.className = "cls";
      tr.appendChild(td);
    });
    body.appendChild(tr);
  }
  $("cars").replaceWith(body);
}

function renderPlayer(p) {
  const s = p.scoring, t = p.telemetry, st = p.state;
  if (!s || !t || s.playerIndex < 0 || !p.vehicles) { $("player").hidden = true; return; }
  const me = p.vehicles.find((v) => v.index === s.playerIndex);
  if (!me) { $("player").hidden = true; return; }
  $("player").hidden = false;
  $("player-name").textContent = me.driverName + ", " + t.vehicleName;
  $("player-place").textContent = "P" + s.playerPlace + " (class P" + s.playerClassPosition + ")";
  $("fuel").textContent = num(t.fuelLevel, 2);
  $("fuel-per-lap").textContent = num(t.fuelPerLap, 3);
  $("laps-left").textContent = num(t.lapsOfFuelLeft, 1);
  $("lap-now").textContent = lapTime(t.estimatedLapTime);
  $("player-best").textContent = p.timeTable ? lapTime(p.timeTable.playerBestLap.time) : "--";
  if (st) {
    $("kers").textContent = st.kersTimerOn === 1
        ? num(st.kersRemaining, 1) + " s" + (st.kersRunning ? " running" : "") : "off";
  }
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
      b.textContent = "S" + (n + 1) + " " + seconds(rec.time) + (rec.time > 0 ? " " + rec.holder : "");
      box.appendChild(b);
      box.appendChild(document.createTextNode(n < 2 ? "  \u00b7  " : ""));
    });
  }
}

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
                           "/api/v1/stream?rate=" + rate + (carQuery ? "&" + carQuery : ""));
  ws.onmessage = (event) => {
    const doc = JSON.parse(event.data);
    if (doc.reply) return;
    render(doc);
  };
  ws.onclose = () => { setStatus("offline"); setTimeout(connect, 2000); };
}

pollCars();
fetch("/api/v1/snapshot" + (carQuery ? "?" + carQuery : ""), { cache: "no-store" })
  .then((r) => r.json())
  .then(render)
  .catch(() => setStatus("offline"))
  .finally(connect);
