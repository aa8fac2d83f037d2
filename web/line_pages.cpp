#include "web/line_pages.h"

#include "web/line_texts.h"

std::string LinePageHtml(const char* szPage)
{
    return std::string("<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"utf-8\">"
                       "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
                       "<title>") + LineText("title") +
           "</title><link rel=\"stylesheet\" href=\"/static/line.css\"></head>\n"
           "<body data-page=\"" + szPage + "\"><nav id=\"nav\"></nav><div id=\"banner\" hidden></div>"
           "<main id=\"app\"></main>"
           "<script src=\"/static/texts.js\"></script><script src=\"/static/line.js\"></script></body></html>\n";
}

const char* LineStyle()
{
    return R"CSS(
body { font-family: "Noto Sans CJK SC", "Noto Sans", sans-serif; margin: 0; background: #f3f4f6; color: #111; }
nav { background: #1f2937; padding: 8px 16px; display: flex; gap: 18px; align-items: center; }
nav a { color: #e5e7eb; text-decoration: none; } nav a.here { color: #fff; font-weight: bold; }
nav .title { color: #fff; font-weight: bold; margin-right: 12px; }
#banner { background: #b91c1c; color: #fff; padding: 6px 16px; }
main { padding: 12px 16px; }
h2 { font-size: 17px; margin: 14px 0 6px; }
.summary { display: flex; gap: 10px; flex-wrap: wrap; }
.box { background: #fff; border-radius: 6px; padding: 8px 12px; box-shadow: 0 1px 2px #0002; }
.box .n { font-size: 22px; font-weight: bold; }
.stations { display: flex; flex-direction: column; gap: 10px; }
.station { background: #fff; border-radius: 6px; padding: 8px 12px; box-shadow: 0 1px 2px #0002; }
.station h3 { margin: 0 0 6px; font-size: 16px; }
.station.offline { background: #e5e7eb; }
.tiles { display: flex; gap: 8px; flex-wrap: wrap; }
.tile { width: 250px; border-radius: 6px; padding: 6px 8px; border: 2px solid #9ca3af; background: #f9fafb; font-size: 13px; }
.tile.running { border-color: #2563eb; background: #eff6ff; }
.tile.stuck { border-color: #d97706; background: #fef3c7; }
.tile.offline { border-color: #6b7280; background: #d1d5db; color: #374151; }
.tile .stage { font-weight: bold; font-size: 15px; }
.bar { height: 8px; background: #e5e7eb; border-radius: 4px; margin: 4px 0; }
.bar div { height: 8px; background: #2563eb; border-radius: 4px; }
.v-installed { color: #15803d; } .v-failed, .v-chip-rejected { color: #b91c1c; } .v-stopped, .v-refused { color: #6b7280; }
table { border-collapse: collapse; background: #fff; font-size: 13px; }
td, th { border: 1px solid #d1d5db; padding: 3px 6px; text-align: left; vertical-align: top; }
th { background: #e5e7eb; }
.warn { color: #b91c1c; font-weight: bold; }
.paretobar { background: #dc2626; height: 10px; }
.mono { font-family: monospace; font-size: 12px; word-break: break-all; }
#jobs td:nth-child(9) { min-width: 360px; }
form { margin: 8px 0; } input, select, button { font-size: 14px; }
)CSS";
}

const char* LineScript()
{
    return R"JS(
'use strict';
const page = document.body.dataset.page;
function el(tag, attrs, ...kids) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs || {})) {
    if (k === 'class') e.className = v; else if (k === 'text') e.textContent = v; else e.setAttribute(k, v);
  }
  for (const k of kids) if (k !== null && k !== undefined) e.append(k instanceof Node ? k : document.createTextNode(String(k)));
  return e;
}
function stageText(s) { return T['stage_' + s] || s; }
function verdictText(v) { return v ? (T['verdict_' + v] || v) : ''; }
function localTime(ms) { return ms ? new Date(ms).toLocaleString('zh-CN', {hour12: false}) : ''; }
function pct(x) { return (Math.round(x * 10) / 10).toFixed(1) + '%'; }
function banner(on) { const b = document.getElementById('banner'); b.hidden = !on; b.textContent = T.record_away; }
async function getJson(url) {
  const r = await fetch(url, {cache: 'no-store'});
  const body = await r.json().catch(() => ({}));
  return {status: r.status, body: body};
}
function nav() {
  const n = document.getElementById('nav');
  n.append(el('span', {class: 'title', text: T.title}));
  for (const [href, key, p] of [['/', 'nav_now', 'now'], ['/failures', 'nav_failures', 'failures'],
                                ['/board/', 'nav_board', 'board'], ['/export.csv', 'nav_export', '']])
    n.append(el('a', {href: href, class: p === page ? 'here' : '', text: T[key]}));
}
function countsBoxes(c) {
  return el('div', {class: 'summary'},
    ...[['installed', c.installed], ['failed', c.failed], ['stopped', c.stopped],
        ['station_faults', c.station_faults], ['yield', c.first_boards ? pct(c.yield) : '-']].map(
      ([k, v]) => el('div', {class: 'box'}, el('div', {text: T[k]}), el('div', {class: 'n', id: 'line-' + k, text: v}))));
}
function tile(s) {
  const state = s.state;
  const t = el('div', {class: 'tile ' + state, 'data-slot': s.slot, 'data-stage': s.stage, 'data-state': state});
  t.append(el('div', {}, el('b', {text: (s.slot ? T.slot + ' ' + s.slot : '') + ' ' + (s.port || '')})));
  t.append(el('div', {class: 'stage', text: stageText(s.stage) + (state === 'stuck' ? ' · ' + T.state_stuck : '')}));
  if (state === 'running' || state === 'stuck') {
    t.append(el('div', {class: 'mono', text: [s.mac, s.factory, s.reg].filter(Boolean).join(' ')}));
    const bar = el('div', {class: 'bar'}, el('div', {style: 'width:' + Math.max(0, Math.min(100, s.percent)) + '%'}));
    t.append(bar, el('div', {text: T.progress + ' ' + s.percent + '%'}));
  }
  t.append(el('div', {text: state === 'offline' ? T.last_seen + ' ' + s.seen_s + ' ' + T.seconds_ago
                                                : T.in_stage + ' ' + s.stage_s + ' ' + T.seconds}));
  if (s.last_verdict)
    t.append(el('div', {}, T.last_verdict + ': ', el('span', {class: 'v-' + s.last_verdict, text: verdictText(s.last_verdict)}),
                s.last_reason ? ' — ' + s.last_reason : ''));
  return t;
}
function chart(bins) {
  const w = 360, h = 80, max = Math.max(1, ...bins), bw = w / bins.length;
  const ns = 'http://www.w3.org/2000/svg';
  const svg = document.createElementNS(ns, 'svg');
  svg.setAttribute('width', w); svg.setAttribute('height', h + 14); svg.setAttribute('id', 'hour-chart');
  bins.forEach((n, i) => {
    const r = document.createElementNS(ns, 'rect');
    const bh = Math.round(n / max * h);
    r.setAttribute('x', i * bw + 2); r.setAttribute('y', h - bh); r.setAttribute('width', bw - 4);
    r.setAttribute('height', bh); r.setAttribute('fill', '#2563eb');
    svg.append(r);
    const tx = document.createElementNS(ns, 'text');
    tx.setAttribute('x', i * bw + bw / 2); tx.setAttribute('y', h + 12); tx.setAttribute('font-size', '10');
    tx.setAttribute('text-anchor', 'middle'); tx.textContent = n;
    svg.append(tx);
  });
  return svg;
}
function renderNow(d) {
  const app = document.getElementById('app');
  const parts = [];
  parts.push(el('h2', {text: T.shift + ' ' + localTime(d.shift.start_ms) + ' – ' + localTime(d.shift.end_ms) + ' · ' + T.line}));
  parts.push(countsBoxes(d.line));
  const st = el('div', {class: 'stations'});
  for (const s of d.stations) {
    const c = s.counts;
    const box = el('div', {class: 'station' + (s.offline ? ' offline' : ''), 'data-station': s.station});
    box.append(el('h3', {}, s.station, s.offline ? ' · ' + T.stage_offline : '',
      el('span', {style: 'font-weight:normal; font-size:13px'},
        '  ' + T.installed + ' ' + c.installed + '  ' + T.failed + ' ' + c.failed + '  ' + T.stopped + ' ' + c.stopped +
        '  ' + T.station_faults + ' ' + c.station_faults + '  ' + T.yield + ' ' + (c.first_boards ? pct(c.yield) : '-'))));
    const tiles = el('div', {class: 'tiles'});
    for (const slot of s.slots) tiles.append(tile(slot));
    box.append(tiles);
    st.append(box);
  }
  parts.push(el('h2', {text: T.station}), st);
  parts.push(el('h2', {text: T.last_hour + ': ' + d.last_hour.installed}), chart(d.last_hour.bins));
  const pools = el('table', {id: 'pools'}, el('tr', {}, el('th', {text: T.pools}), el('th', {text: T.left}), el('th', {text: T.time_left})));
  for (const p of d.pools) {
    if (!p.used) continue;
    pools.append(el('tr', {class: p.warn ? 'warn' : ''}, el('td', {text: T['pool_' + p.kind] || p.kind}),
      el('td', {text: p.left + (p.warn ? ' · ' + T.pool_warn : '')}),
      el('td', {text: p.hours_left === null ? '-' : (Math.round(p.hours_left * 10) / 10) + ' ' + T.hours})));
  }
  parts.push(el('h2', {text: T.pools}), pools);
  parts.push(el('p', {text: T.updated + ' ' + localTime(d.now_ms)}));
  app.replaceChildren(...parts);
}
async function pollNow() {
  try {
    const r = await getJson('/api/now');
    if (r.status === 200) { banner(false); renderNow(r.body); } else banner(true);
  } catch (e) { banner(true); }
  setTimeout(pollNow, 1500);
}
function failuresForm(q, stations) {
  const f = el('form', {method: 'get', action: '/failures'});
  f.append(T.day + ' ', el('input', {type: 'date', name: 'day', value: q.get('day') || ''}), ' ', T.shift_no + ' ');
  const sel = el('select', {name: 'shift'}, el('option', {value: '', text: T.whole_day}));
  for (let i = 1; i <= (window.SHIFTS || 3); ++i) sel.append(el('option', {value: i, text: String(i)}));
  sel.value = q.get('shift') || '';
  const ss = el('select', {name: 'station'}, el('option', {value: '', text: T.all_stations}));
  for (const s of stations) ss.append(el('option', {value: s, text: s}));
  ss.value = q.get('station') || '';
  f.append(sel, ' ', T.station + ' ', ss, ' ', el('button', {type: 'submit', text: T.show}));
  return f;
}
async function renderFailures() {
  const q = new URLSearchParams(location.search);
  const app = document.getElementById('app');
  let r;
  try { r = await getJson('/api/failures' + location.search); } catch (e) { banner(true); return; }
  if (r.status !== 200) { app.replaceChildren(el('p', {class: 'warn', text: r.body.error || T.record_unreachable})); return; }
  const d = r.body;
  const parts = [failuresForm(q, Object.keys(d.stations))];
  parts.push(el('h2', {text: localTime(d.start_ms) + ' – ' + localTime(d.end_ms)}), countsBoxes(d.line));
  const t = el('table', {id: 'pareto'}, el('tr', {}, ...[T.stage, T.reason, T.count, T.cumulative, T.station, T.boards].map(x => el('th', {text: x}))));
  const max = Math.max(1, ...d.pareto.map(p => p.count));
  for (const p of d.pareto) {
    const boards = el('details', {}, el('summary', {text: p.boards.length + ' ' + T.boards}));
    for (const b of p.boards)
      boards.append(el('div', {}, el('a', {href: '/board/' + encodeURIComponent(b.factory || b.mac), text: b.factory || b.mac}),
                       ' ' + b.station + ' ' + b.port + ' ' + b.start));
    t.append(el('tr', {}, el('td', {text: stageText(p.stage) + (p.station_fault ? ' · ' + T.station_faults : '')}),
      el('td', {text: p.reason}),
      el('td', {}, el('div', {class: 'paretobar', style: 'width:' + Math.round(p.count / max * 120) + 'px'}), String(p.count)),
      el('td', {text: pct(p.cumulative_percent)}),
      el('td', {text: Object.entries(p.stations).map(([s, n]) => s + ': ' + n).join(', ')}), el('td', {}, boards)));
  }
  parts.push(el('h2', {text: T.nav_failures}), d.pareto.length ? t : el('p', {text: T.no_failures}));
  const st = el('table', {}, el('tr', {}, ...[T.station, T.installed, T.failed, T.stopped, T.station_faults, T.yield].map(x => el('th', {text: x}))));
  for (const [s, c] of Object.entries(d.stations))
    st.append(el('tr', {}, ...[s, c.installed, c.failed, c.stopped, c.station_faults, c.first_boards ? pct(c.yield) : '-'].map(x => el('td', {text: x}))));
  parts.push(el('h2', {text: T.station}), st);
  app.replaceChildren(...parts);
}
async function renderBoard() {
  const app = document.getElementById('app');
  const value = decodeURIComponent(location.pathname.substring('/board/'.length));
  const f = el('form', {id: 'search'});
  const input = el('input', {name: 'v', size: 40, placeholder: T.search_hint, value: value});
  f.append(input, ' ', el('button', {type: 'submit', text: T.show}));
  f.addEventListener('submit', ev => { ev.preventDefault(); location.href = '/board/' + encodeURIComponent(input.value.trim()); });
  const parts = [f];
  if (!value) { app.replaceChildren(...parts); return; }
  let r;
  try { r = await getJson('/api/board/' + encodeURIComponent(value)); } catch (e) { banner(true); return; }
  if (r.status !== 200 || !r.body.found) {
    parts.push(el('p', {class: 'warn', id: 'board-missing', text: r.body.error || T.not_found}));
    app.replaceChildren(...parts);
    return;
  }
  const d = r.body;
  const t = el('table', {id: 'jobs'}, el('tr', {}, ...[T.start, T.station, T.port, T.verdict, T.stage, T.reason,
    T.identity, T.times, T.images, T.log_file].map(x => el('th', {text: x}))));
  for (const j of d.jobs) {
    const imgs = el('div', {class: 'mono'});
    for (const i of j.images) imgs.append(el('div', {text: i.slot + ' ' + i.name + ' ' + i.size + ' B ' + (i.stored ? '✓ ' : '✗ ') + i.sha256}));
    t.append(el('tr', {'data-job': j.id},
      el('td', {text: j.start + ' – ' + j.end}), el('td', {text: j.station}), el('td', {text: j.port + ' ' + j.device}),
      el('td', {}, el('span', {class: 'v-' + j.verdict, text: verdictText(j.verdict)}), j.reflash ? ' · ' + T.reflash : ''),
      el('td', {text: stageText(j.stage)}), el('td', {class: 'reason', text: j.reason}),
      el('td', {class: 'mono', text: j.mac + ' ' + j.factory + ' ' + j.reg}),
      el('td', {text: (j.bringup_ms / 1000).toFixed(1) + ' / ' + (j.console_ms / 1000).toFixed(1) + ' / ' + (j.transfer_ms / 1000).toFixed(1) + ' s'}),
      el('td', {}, imgs), el('td', {class: 'mono', text: 'logs/' + j.log_file})));
  }
  parts.push(el('h2', {text: T.jobs + ': ' + value}), t);
  const h = el('table', {id: 'holds'}, el('tr', {}, ...[T.holds, T.station, T.port, T.start].map(x => el('th', {text: x}))));
  for (const x of d.holds) h.append(el('tr', {}, ...[x.value, x.station, x.port, x.since].map(v => el('td', {text: v}))));
  parts.push(el('h2', {text: T.holds}), d.holds.length ? h : el('p', {text: '-'}));
  const iv = el('table', {}, el('tr', {}, ...[T.installed_values, T.station, T.start].map(x => el('th', {text: x}))));
  for (const x of d.installed) iv.append(el('tr', {}, ...[x.value + ' → ' + x.factory, x.station, x.installed_at].map(v => el('td', {text: v}))));
  parts.push(el('h2', {text: T.installed_values}), d.installed.length ? iv : el('p', {text: '-'}));
  app.replaceChildren(...parts);
}
nav();
if (page === 'now') pollNow(); else if (page === 'failures') renderFailures(); else if (page === 'board') renderBoard();
)JS";
}
