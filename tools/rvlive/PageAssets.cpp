#include "rvlive/PageAssets.h"

namespace live {

const char kIndexPage[] = R"page(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Live timing</title><link rel="stylesheet" href="/assets/live.css"></head>
<body data-page="index" data-stream="/events">
<header><h1>Live timing</h1><span id="link" class="link">connecting</span></header>
<main><table id="events"><thead><tr><th>Event</th><th>Track</th><th>Session</th>
<th>Time</th><th>Drivers</th><th>Server</th></tr></thead><tbody></tbody></table>
<p id="none" class="quiet" hidden>No events on this host.</p></main>
<script src="/assets/live.js"></script></body></html>
)page";

const char kEventPage[] = R"page(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Live timing</title><link rel="stylesheet" href="/assets/live.css"></head>
<body data-page="event" data-stream="events">
<header><a href="/" class="back">All events</a><h1 id="event">Live timing</h1>
<span id="link" class="link">connecting</span></header>
<section id="banner"><span id="session">Waiting for the server</span>
<span id="clock" class="clock"></span><span id="delay" class="quiet"></span></section>
<div class="layout"><main>
<div class="tools"><button id="toggle" type="button">Show intervals</button></div>
<table id="standings"><thead><tr><th>Pos</th><th class="opt">No</th><th>Driver</th><th class="opt">Laps</th>
<th id="gaphead">Gap</th><th>Last</th><th>Best</th><th class="wide">Split</th>
<th class="wide">Status</th></tr></thead><tbody></tbody></table>
<p id="nolaps" class="quiet" hidden>No laps yet.</p></main>
<aside><h2>Race control</h2><ol id="feed"></ol></aside></div>
<script src="/assets/live.js"></script></body></html>
)page";

const char kPageStyle[] =
    R"css(:root{--bg:#fff;--fg:#16181d;--muted:#6b7280;--line:#e5e7eb;--row:#f7f7f9;
--accent:#c8102e;--sb:#8e24aa;--pb:#1b8a3a;--bad:#b45309;color-scheme:light dark}
@media (prefers-color-scheme:dark){:root{--bg:#101217;--fg:#e8eaed;--muted:#9aa0a6;--line:#2a2e36;
--row:#171a21;--accent:#ff4d5e;--sb:#c77dff;--pb:#4ade80;--bad:#fbbf24}}
*{box-sizing:border-box}
body{margin:0;background:var(--bg);color:var(--fg);font:clamp(14px,.55vw + 8.5px,30px)/1.35 system-ui,sans-serif}
header{display:flex;align-items:center;gap:1em;padding:.5em 1em;border-bottom:3px solid var(--accent)}
h1{font-size:1.3em;margin:0;flex:1}h2{font-size:1em;margin:.2em 0 .5em}
a{color:inherit}.back{color:var(--muted)}
.link{font-size:.8em;color:var(--muted)}.link.down{color:var(--bad)}
#banner{display:flex;flex-wrap:wrap;gap:.4em 1.5em;align-items:baseline;padding:.5em 1em}
#session{font-weight:600;font-size:1.1em}.clock{font-variant-numeric:tabular-nums;font-size:1.4em;font-weight:700}
.quiet{color:var(--muted)}
.layout{display:grid;grid-template-columns:minmax(0,3fr) minmax(14em,1fr);gap:1em;padding:0 1em 1em}
@media (max-width:800px){.layout{grid-template-columns:1fr}.wide{display:none}}
@media (max-width:600px){.opt{display:none}td,th{padding:.25em .3em}header{padding:.4em .6em}}
main{overflow-x:auto;padding:0 1em}.layout main{padding:0}
table{border-collapse:collapse;width:100%;font-variant-numeric:tabular-nums}
th{text-align:left;font-size:.8em;color:var(--muted);font-weight:600;border-bottom:1px solid var(--line)}
td,th{padding:.3em .5em;white-space:nowrap}
tbody tr:nth-child(even){background:var(--row)}
td.name{font-weight:600}
@media (max-width:800px){td.name{white-space:normal}}
td.sb{color:#fff;background:var(--sb);font-weight:700}td.pb{color:var(--pb);font-weight:700}
td.status{color:var(--bad)}tr.gone{opacity:.55}
.tools{text-align:right;margin:.3em 0}
button{font:inherit;font-size:.8em;padding:.2em .7em;border:1px solid var(--line);border-radius:4px;
background:var(--row);color:var(--fg);cursor:pointer}
aside{border-left:1px solid var(--line);padding-left:1em}
@media (max-width:800px){aside{border:0;padding:0}}
#feed{list-style:none;margin:0;padding:0;max-height:70vh;overflow-y:auto;font-size:.85em}
#feed li{padding:.25em 0;border-bottom:1px solid var(--line)}
#feed time{color:var(--muted);margin-right:.6em;font-variant-numeric:tabular-nums}
.answering{color:var(--pb)}.silent{color:var(--bad)}
)css";

const char kPageScript[] = R"js("use strict";
const page = document.body.dataset.page;
let skew = 0, state = null, feedSeen = 0;
// "?interval" in the address starts with intervals (a wall screen has no one to press the button).
let showInterval = new URLSearchParams(location.search).has("interval") || localStorage.getItem("rvlive.interval") === "1";
const $ = id => document.getElementById(id);

function clockText(ms) {
  const s = Math.max(0, Math.floor(ms / 1000));
  const h = Math.floor(s / 3600), m = Math.floor(s / 60) % 60, r = String(s % 60).padStart(2, "0");
  return h > 0 ? h + ":" + String(m).padStart(2, "0") + ":" + r : m + ":" + r;
}
// The session's own clock: a countdown before it starts, the time left after, laps in a race.
function sessionClock(s, leaderLaps, delay) {
  if (!s) return "";
  const now = Date.now() - skew - delay * 1000;
  if (s.phase === "over") return "Final";
  if (s.phase === "finishing") return "Finishing";
  if (s.phase === "waiting") return s.startsAt == null ? "Starting soon" : "Starts in " + clockText(s.startsAt - now);
  if (s.type === 2) return "Lap " + Math.min(leaderLaps + 1, s.raceLaps) + " of " + s.raceLaps;
  return s.endsAt == null ? "" : (s.endsAt > now ? clockText(s.endsAt - now) + " left" : "Time up");
}
// "Race (race)" says it twice; "Sprint (race)" does not.
function sessionName(s) {
  return s.name.toLowerCase() === s.typeName ? s.name : s.name + " (" + s.typeName + ")";
}
function cell(row, text, cls) {
  const td = row.insertCell();
  td.textContent = text == null ? "" : String(text);
  if (cls) td.className = cls;
  return td;
}
function linkState(up) { const l = $("link"); l.textContent = up ? "live" : "reconnecting"; l.classList.toggle("down", !up); }

function drawEvent() {
  const e = state.event || {}, s = state.session;
  document.title = e.name ? e.name + " - live timing" : "Live timing";
  $("event").textContent = (e.name || "Live timing") + (e.track ? " \u00b7 " + e.track : "");
  $("session").textContent = !s ? (e.hasLog ? "No session yet" : "No event log yet")
      : sessionName(s) + (state.final ? " \u2013 final classification" : "");
  $("delay").textContent = e.delay > 0 ? "delayed by " + e.delay + " s" : "";
  $("gaphead").textContent = showInterval ? "Int" : "Gap";
  $("toggle").textContent = showInterval ? "Show gaps" : "Show intervals";
  const body = document.querySelector("#standings tbody");
  body.replaceChildren();
  for (const d of state.standings) {
    const row = body.insertRow();
    if (d.status === "left" || d.status === "retired" || d.status === "kicked" || d.status === "banned") row.className = "gone";
    cell(row, d.position, "pos");
    cell(row, d.number, "number opt");
    cell(row, d.name, "name");
    cell(row, d.laps, "laps opt");
    cell(row, showInterval ? d.interval : d.gap, "gap");
    cell(row, d.lastLap, "last " + d.lastMark);
    cell(row, d.bestLap, "best " + d.bestMark);
    cell(row, d.split, "split wide");
    cell(row, [d.status].concat(d.penalties).filter(Boolean).join(", "), "status wide");
  }
  $("nolaps").hidden = state.standings.length > 0;
  tick();
}
function addFeed(items, reset) {
  const list = $("feed");
  if (reset) { list.replaceChildren(); feedSeen = 0; }
  for (const f of items) {
    if (f.seq <= feedSeen) continue;
    feedSeen = f.seq;
    const li = document.createElement("li");
    li.dataset.seq = f.seq;
    li.dataset.kind = f.kind;
    const t = document.createElement("time");
    t.textContent = f.time;
    li.append(t, document.createTextNode(f.text));
    list.prepend(li);
  }
  while (list.children.length > 200) list.lastChild.remove();
}
function drawIndex() {
  const body = document.querySelector("#events tbody");
  body.replaceChildren();
  for (const e of state.events) {
    const row = body.insertRow();
    const a = document.createElement("a");
    a.href = "/e/" + encodeURIComponent(e.id) + "/";
    a.textContent = e.name || e.id;
    row.insertCell().append(a);
    cell(row, e.track);
    cell(row, e.session ? sessionName(e.session) : "", "session");
    const c = cell(row, "", "clock-cell");
    c.dataset.index = body.rows.length - 1;
    cell(row, e.drivers == null ? "" : e.drivers + "/" + e.maxClients, "drivers");
    // A server closed to newcomers while it answers is draining (or between sessions).
    cell(row, !e.answering ? "not answering" : e.access === "closed" ? "answering, closed" : "answering",
         e.answering ? "answering" : "silent");
  }
  $("none").hidden = state.events.length > 0;
  tick();
}
function tick() {
  if (!state) return;
  if (page === "event") {
    $("clock").textContent = sessionClock(state.session, state.leaderLaps, (state.event || {}).delay || 0);
  } else {
    for (const c of document.querySelectorAll(".clock-cell")) {
      const e = state.events[c.dataset.index];
      c.textContent = sessionClock(e.session, e.leaderLaps || 0, e.delay || 0);
    }
  }
}
function onUpdate(msg) {
  if (msg.state) { state = msg.state; page === "event" ? drawEvent() : drawIndex(); }
  if (page === "event") addFeed(msg.feed || [], msg.reset);
  document.body.dataset.lastId = msg.id;
}
if (page === "event") $("toggle").addEventListener("click", () => {
  showInterval = !showInterval;
  localStorage.setItem("rvlive.interval", showInterval ? "1" : "0");
  if (state) drawEvent();
});
const stream = new EventSource(document.body.dataset.stream);
stream.addEventListener("clock", e => { skew = Date.now() - Number(e.data); });
stream.addEventListener("snapshot", e => onUpdate(JSON.parse(e.data)));
stream.onmessage = e => onUpdate(JSON.parse(e.data));
stream.onopen = () => linkState(true);
stream.onerror = () => linkState(false);
setInterval(tick, 1000);
)js";

}  // namespace live
