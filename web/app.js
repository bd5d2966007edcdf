// The configurator page: edits are kept here until saved; everything the
// panel would compute (findings, curve responses) is asked of zq-setup.
'use strict';

// The panel's own tables (slots and their words, start values, axes, keys),
// asked of zq-setup once: the page keeps none of its own.
let facts = null;
let saved = null;      // the file as read
let view = null;       // the file with the edits, as zq-check reads it
let edits = {};        // key -> text, or null to remove the key
let curveKey = null;   // the first curve until one is picked
let curveOutputs = null;
let live = { joysticks: [], keys: [] };
let binding = null;    // the slot waiting for an input
const $ = (id) => document.getElementById(id);

function el(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'text') e.textContent = v; else if (k.startsWith('on')) e.addEventListener(k.slice(2), v); else e.setAttribute(k, v);
  }
  for (const c of children) e.append(c);
  return e;
}
function say(text) { $('message').textContent = text; }
const slotFacts = (key) => facts.slots.find((s) => s.key === key);
// The slot a curve reads: the flight axis of a letter, the trim axis of a trim curve.
function curveSlot(axis) {
  for (const a of facts.axes) { if (a.letter === axis) return a.slot; if (a.trimCurve === axis) return a.trimSlot; }
  return null;
}
const isModifier = (vk) => facts.modifiers.some((m) => m.keys.includes(vk));

async function api(path, body) {
  const init = body === undefined ? {} : { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify(body) };
  const stopped = { status: 0, json: { error: 'zq-setup has stopped' } };
  if (serverGone) return stopped;
  let res;
  try { res = await fetch(path, init); } catch (e) { checkServer(); return stopped; }
  let json = {};
  try { json = await res.json(); } catch (e) { json = { error: `the server answered ${res.status}` }; }
  return { status: res.status, json };
}

async function load(reload) {
  if (!facts) {
    const f = await api('/api/facts');
    if (f.status !== 200) { say(f.json.error || 'The panel\'s tables could not be read: reload the page.'); return; }
    facts = f.json;
  }
  const r = await api(reload ? '/api/state?reload=1' : '/api/state');
  saved = r.json; edits = {};
  $('file').textContent = `Editing ${saved.path}` + (saved.exists ? '' : ' (a new file, from the example layout)');
  view = saved;  // no edits yet: the file as zq-check reads it
  render();
  if (typeof profilesLoaded === 'function') profilesLoaded();
  offerDraft();
  if (!performance.getEntriesByName('zq-ready').length) performance.mark('zq-ready');  // for the benchmark
}

let refreshing = null;
let refreshAsked = 0;
async function refresh() {
  const asked = ++refreshAsked;
  const r = await api('/api/check', { edits });
  if (asked !== refreshAsked) return;  // a later edit's answer is on its way
  if (r.status !== 200) { say(r.json.error || 'The settings could not be checked.'); return; }
  view = r.json;
  if (view.editError) say(`Not applied: ${view.editError}`);
  render();
}
function scheduleRefresh() { clearTimeout(refreshing); refreshing = setTimeout(refresh, 150); }

function edit(key, value) {
  const original = saved.slots.find((s) => s.key === key) || null;
  edits[key] = value;
  if (original && original.set && original.value === value) delete edits[key];
  $('save').disabled = $('revert').disabled = Object.keys(edits).length === 0;
  if (serverGone) $('save').disabled = true;
  scheduleRefresh();
}

function render() {
  $('save').disabled = $('revert').disabled = Object.keys(edits).length === 0;
  if (serverGone) $('save').disabled = true;
  renderSlots(); renderCurvePicker(); renderCurve(); renderValues(); renderFindings();
  captureRendered();
}

function findingsFor(key) {
  return view.findings.filter((f) => f.key.toLowerCase() === key.toLowerCase());
}

// One table for every group, so that fields and buttons stand in the same
// columns all the way down; each group is a body with a heading row.
function renderSlots() {
  const host = $('slot-groups');
  const focused = document.activeElement && document.activeElement.id;
  const groups = [...new Set(facts.slots.map((f) => f.group))];
  const bodies = groups.map((title, g) => {
    const body = el('tbody', { 'aria-labelledby': `slot-group-${g}` },
      el('tr', { class: 'group' }, el('th', { colspan: '4', scope: 'colgroup', id: `slot-group-${g}`, text: title })));
    for (const { key, name, what } of facts.slots.filter((f) => f.group === title)) {
      const s = view.slots.find((x) => x.key === key);
      const input = el('input', { id: `field-${key}`, class: 'binding', value: s.set ? s.value : '', 'aria-label': `${name} binding text`,
        placeholder: s.set ? '' : `default ${s.default}` });
      input.addEventListener('change', () => edit(key, input.value));
      const notes = findingsFor(key).map((f) => el('div', { class: `finding-${f.severity}`, text: `${f.severity}: ${f.message}` }));
      const bind = el('button', { type: 'button', id: `bind-${key}`, text: binding && binding.key === key ? 'Waiting…' : 'Bind',
        onclick: () => startBind(key, s.axis) });
      if (binding && binding.key === key) bind.classList.add('waiting');
      const clear = el('button', { type: 'button', id: `clear-${key}`, text: 'Clear', onclick: () => edit(key, '') });
      body.append(el('tr', { class: key in edits ? 'edited' : '' },
        el('th', { scope: 'row' }, el('label', { for: `field-${key}`, text: name }), el('div', { class: 'words', text: `${key}${what ? ': ' + what : ''}` })),
        el('td', {}, input, ' ', el('span', { class: 'input-name', id: `name-${key}`, text: s.name || '' })),
        el('td', {}, el('div', { class: 'words', text: s.words || '' }), ...notes),
        el('td', {}, el('div', { class: 'slot-buttons' }, bind, clear))));
    }
    return body;
  });
  host.replaceChildren(el('table', { id: 'slot-table' },
    el('colgroup', {}, el('col', { class: 'slot-action' }), el('col', { class: 'slot-text' }), el('col'), el('col', { class: 'slot-buttons' })),
    el('thead', {}, el('tr', {}, el('th', { scope: 'col', text: 'Action' }), el('th', { scope: 'col', text: 'Binding' }),
      el('th', { scope: 'col', text: 'What the panel does with it' }), el('th', { scope: 'col', text: '' }))), ...bodies));
  if (focused && $(focused)) $(focused).focus();
}

// ---- Binding by pressing ----
// The live readings show keys only while a Bind waits for one: the server is told.
function keysWanted(waiting) {
  fetch('/api/live/bind', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: JSON.stringify({ waiting }) }).catch(() => {});
}
function startBind(key, axis) {
  const now = Date.now();
  if (!axis) keysWanted(true);
  binding = { key, axis, since: now, until: now + 10000, keys: new Set(live.keys), buttons: buttonSet(), axes: axisMap() };
  say(axis ? `Move the axis for ${slotFacts(key).name} past a third of its travel (10 s)…` : `Press the key or button for ${slotFacts(key).name} (10 s)…`);
  renderSlots();
  captureShown();
}
function buttonSet() { const s = new Set(); for (const j of live.joysticks) for (const b of j.buttons) s.add(`${j.id} ${b}`); return s; }
function axisMap() { const m = {}; for (const j of live.joysticks) j.axes.forEach((v, i) => { m[`${j.id} ${i}`] = v; }); return m; }
function keyText(vk, keys) {
  const mods = facts.modifiers.filter((m) => keys.some((k) => m.keys.includes(k))).map((m) => `${m.text}+`).join('');
  const ch = facts.keyChars[vk];
  if (mods && ch) return mods + ch;
  return `-1 ${vk}`;
}
function checkBind() {
  if (!binding) return;
  let text = null;
  if (binding.axis) {
    let best = null;
    for (const j of live.joysticks) j.axes.forEach((v, i) => {
      const from = binding.axes[`${j.id} ${i}`]; const moved = from === undefined ? 0 : Math.abs(v - from);
      if (moved > 600 && (!best || moved > best.moved)) best = { moved, text: `${j.id} ${i}` };
    });
    if (best) text = best.text;
  } else {
    // The Enter or Space that pressed "Bind" shows in the readings a little later: not an answer.
    if (Date.now() - binding.since < 300) for (const k of live.keys) binding.keys.add(k);
    const key = live.keys.find((k) => !isModifier(k) && !binding.keys.has(k));
    if (key === cancelKey()) { cancelBind('cancelled with Escape'); return; }
    if (key !== undefined) text = keyText(key, live.keys);
    for (const j of live.joysticks) for (const b of j.buttons) if (!text && !binding.buttons.has(`${j.id} ${b}`)) text = `${j.id} ${b}`;
    // Keys let go since the start may be pressed again.
    binding.keys = new Set([...binding.keys].filter((k) => live.keys.includes(k)));
  }
  const key = binding.key;
  if ((text || Date.now() > binding.until) && !binding.axis) keysWanted(false);
  if (text) { binding = null; say(`${slotFacts(key).name}: bound to ${text}`); edit(key, text); renderSlots(); captureShown(key, text); }
  else if (Date.now() > binding.until) { binding = null; say('Nothing was pressed within 10 seconds: the binding is unchanged.'); renderSlots(); captureShown(); }
}

// ---- Curves ----
function curveEntries() {
  const out = [];
  view.curveSets.forEach((set, i) => { for (const a of facts.axes) out.push({ key: set[a.letter].key, axis: a.letter, label: `Set ${i} ${a.letter} (${a.word})`, curve: set[a.letter] }); });
  view.trimCurves.forEach((c) => out.push({ key: c.key, axis: c.key, label: `${c.key} (${facts.axes.find((a) => a.trimCurve === c.key).word} trim axis)`, curve: c }));
  return out;
}
// The picked curve stays picked while the load stops before the curves: it is
// then shown as the panel has it, all 0, and cannot be edited until the load
// reaches it again. A curve whose set was removed gives way to the first.
function currentCurve() {
  const entries = curveEntries();
  const stopped = view.curveSets.length === 0;
  if (curveKey === null || (!stopped && !entries.some((e) => e.key === curveKey))) curveKey = entries[0].key;
  return entries.find((e) => e.key === curveKey) || unloadedCurve(curveKey);
}
function unloadedCurve(key) {
  const axis = key.startsWith('Trim') ? key : key[0];
  return { key, axis, label: `${key} (not loaded)`, curve: { key, points: Array(11).fill(0), loaded: false } };
}
const curveEditable = () => currentCurve().curve.loaded !== false;
function renderCurvePicker() {
  const entries = curveEntries();
  const shown = currentCurve();
  const picks = entries.some((e) => e.key === curveKey) ? entries : [...entries, shown];
  for (const id of ['curve-pick', 'copy-to']) {
    const sel = $(id); const keep = sel.value;
    sel.replaceChildren(...(id === 'curve-pick' ? picks : entries).map((e) => el('option', { value: e.key, text: e.label })));
    sel.value = id === 'curve-pick' ? curveKey : (keep || entries[0].key);
  }
  $('remove-set').disabled = view.curveSets.length <= 1;
  $('add-set').disabled = view.curveSets.length >= facts.curveSets;
}
let curveAsked = '';
async function renderCurve() {
  const c = currentCurve();
  const pts = c.curve.points;
  const host = $('points');
  if (!host.contains(document.activeElement)) {
    host.replaceChildren(...pts.map((p, k) => pointBox(k, p)));
  }
  curveShown(c);
  const ask = pts.join(' ');
  if (ask !== curveAsked) {
    curveAsked = ask;
    const r = await api('/api/curve', { points: pts });
    if (r.status === 200 && curveAsked === ask) curveOutputs = r.json.outputs;
  }
  drawChart();
}
function setPoint(k, v) {
  if (!curveEditable()) return;
  const pts = currentCurve().curve.points.slice(); pts[k] = v;
  currentCurve().curve.points = pts;
  edit(curveKey, pts.join(' '));
  renderCurve();
}
const CH = { x0: 40, x1: 430, y0: 10, y1: 310 };
function scaleY() { const m = curveOutputs ? Math.max(100, ...curveOutputs.map(Math.abs)) : 100; return m; }
function px(reading) { return CH.x0 + (reading + 1000) / 2000 * (CH.x1 - CH.x0); }
function py(out, m) { return CH.y0 + (m - out) / (2 * m) * (CH.y1 - CH.y0); }
function drawChart() {
  const svg = $('chart'); const ns = 'http://www.w3.org/2000/svg';
  const m = scaleY();
  const mk = (tag, attrs) => { const e = document.createElementNS(ns, tag); for (const [k, v] of Object.entries(attrs)) e.setAttribute(k, v); return e; };
  svg.replaceChildren(svg.querySelector('title'));
  for (const r of [-1000, -500, 0, 500, 1000]) { svg.append(mk('line', { class: 'grid', x1: px(r), x2: px(r), y1: CH.y0, y2: CH.y1 })); const t = mk('text', { class: 'axis-label', x: px(r) - (r === 1000 ? 26 : 12), y: 328 }); t.textContent = r; svg.append(t); }
  for (const o of [-m, 0, m]) { svg.append(mk('line', { class: 'grid', x1: CH.x0, x2: CH.x1, y1: py(o, m), y2: py(o, m) })); const t = mk('text', { class: 'axis-label', x: 2, y: py(o, m) + 4 }); t.textContent = o; svg.append(t); }
  if (curveOutputs) {
    let d = ''; for (let i = 0; i <= 2000; i += 4) d += `${i ? 'L' : 'M'}${px(i - 1000).toFixed(1)},${py(curveOutputs[i], m).toFixed(1)}`;
    svg.append(mk('path', { class: 'curve', d, id: 'curve-line' }));
    chartDrawn(svg, m, mk);
    const pts = currentCurve().curve.points;
    for (let k = 1; k <= 10; ++k) {
      const h = mk('circle', { class: 'handle', cx: px(k * 100), cy: py(curveOutputs[1000 + k * 100], m), r: 6, 'data-point': k });
      if (curveEditable()) h.addEventListener('pointerdown', (ev) => startDrag(ev, k, m));
      svg.append(h);
    }
    void pts;
    const dot = liveReading();
    if (dot) svg.append(mk('circle', { class: 'dot', id: 'live-dot-mark', cx: px(dot.reading), cy: py(dot.output, m), r: 7 }));
  }
}
function startDrag(ev, k, m) {
  const svg = $('chart'); ev.preventDefault();
  const move = (e) => {
    const box = svg.getBoundingClientRect(); const y = (e.clientY - box.top) * 340 / box.height;
    // The handle moves the output, within full deflection; its box holds the gain that gives it.
    const out = Math.max(-100, Math.min(100, m - (y - CH.y0) / (CH.y1 - CH.y0) * 2 * m));
    const pts = currentCurve().curve.points.slice(); pts[k] = Math.round(out * 10 / k);
    currentCurve().curve.points = pts; dragShown(k, out, pts[k]); renderCurve();
  };
  const up = () => { window.removeEventListener('pointermove', move); window.removeEventListener('pointerup', up); dragShown(null); edit(curveKey, currentCurve().curve.points.join(' ')); };
  window.addEventListener('pointermove', move); window.addEventListener('pointerup', up);
}
// The live dot and its text: chain.js, from the preview's last tick.

// ---- Other values ----
// Each keystroke is an edit, so a value's notes show while it is typed.
function renderValues() {
  const host = $('value-fields');
  if (!host.contains(document.activeElement)) {
    host.replaceChildren(...facts.values.map(({ key, what: text }) => {
      const v = view.values[key];
      const input = el('input', { id: `field-${key}`, value: v.set ? v.value : '', inputmode: 'numeric', 'aria-describedby': `notes-${key}` });
      input.addEventListener('input', () => edit(key, input.value));
      return el('div', {}, el('label', { for: `field-${key}`, text: `${key}: ${text}` }, input), el('div', { id: `notes-${key}`, class: 'value-notes' }));
    }));
  }
  for (const { key } of facts.values) {
    $(`notes-${key}`).replaceChildren(...findingsFor(key).map((f) => el('div', { class: `finding-${f.severity}`, text: f.message })));
  }
  renderScreen();
}

// Where the panel stands on this screen; a place off the screen is drawn at
// the edge it lies beyond and said in words.
function renderScreen() {
  const sw = window.screen.width || 1280; const sh = window.screen.height || 720;
  const halfEven = (x) => { const r = Math.round(x); return r - x === 0.5 && r % 2 !== 0 ? r - 1 : r; };
  const wx = view.loaded.windowX === -1 ? sw - 42 : view.loaded.windowX;
  const wy = view.loaded.windowY === -1 ? halfEven(sh / 1.6) : view.loaded.windowY;
  const inside = wx >= 0 && wy >= 0 && wx + 42 <= sw && wy + 77 <= sh;
  const seen = wx + 42 > 0 && wy + 77 > 0 && wx < sw && wy < sh;
  const k = Math.min(300 / sw, 180 / sh); const ns = 'http://www.w3.org/2000/svg'; const svg = $('screen');
  const mk = (tag, attrs) => { const e = document.createElementNS(ns, tag); for (const [a, v] of Object.entries(attrs)) e.setAttribute(a, v); return e; };
  const w = Math.max(3, 42 * k); const h = Math.max(5, 77 * k);
  const clamp = (v, lo, hi) => Math.min(Math.max(v, lo), hi);
  const x = clamp(wx * k, 0, sw * k - w); const y = clamp(wy * k, 0, sh * k - h);
  svg.replaceChildren(svg.querySelector('title'), mk('rect', { x: 10, y: 10, width: sw * k, height: sh * k, fill: '#1d2f5e', stroke: '#c5cde0' }),
    mk('rect', inside ? { id: 'screen-panel', x: 10 + x, y: 10 + y, width: w, height: h, fill: '#ffd166' }
      : { id: 'screen-panel', x: 10 + x, y: 10 + y, width: w, height: h, fill: 'none', stroke: '#ffb3b3', 'stroke-width': 2, 'stroke-dasharray': '3 2' }));
  const t = mk('text', { x: 12, y: 196, fill: '#c5cde0', 'font-size': 11 }); t.textContent = `Screen ${sw}×${sh}: panel at ${wx}, ${wy}`; svg.append(t);
  const note = $('screen-note');
  note.hidden = inside;
  note.textContent = inside ? '' : `WindowX ${wx}, WindowY ${wy}: on this ${sw} × ${sh} screen the 42 × 77 panel ` +
    (seen ? 'is partly off the screen (the dashed box shows the edge it crosses).' : 'lies entirely off the screen and will not be seen (the dashed box marks the edge it lies beyond).');
}

// ---- Findings ----
function renderFindings() {
  $('finding-count').textContent = `(${view.findings.length})`;
  $('finding-list').replaceChildren(...view.findings.map((f) => {
    const text = `${f.severity}${f.line ? ' (line ' + f.line + ')' : ''}: ${f.message}`;
    const item = el('li', { class: `finding-${f.severity}` });
    const target = f.key && (document.getElementById(`field-${f.key}`) ? `field-${f.key}` : curveEntries().some((e) => e.key.toLowerCase() === f.key.toLowerCase()) ? 'curve-pick' : null);
    if (target) item.append(el('a', { href: `#${target}`, text, onclick: (e) => { e.preventDefault(); if (target === 'curve-pick') { curveKey = curveEntries().find((x) => x.key.toLowerCase() === f.key.toLowerCase()).key; renderCurvePicker(); renderCurve(); } $(target).focus(); } }));
    else item.textContent = text;
    return item;
  }));
  if (view.findings.length === 0) $('finding-list').replaceChildren(el('li', { text: 'No findings: the panel will load these settings cleanly.' }));
}

// ---- Live input ----
function renderDevices() {
  const bound = new Set();
  for (const s of (view ? view.slots : [])) { const p = (s.value || '').trim().split(/\s+/).map(Number); if (p.length === 2 && p[0] >= 0 && p[0] < facts.joysticks) bound.add(p[0]); }
  const items = live.joysticks.map((j) => el('div', { class: 'device' }, el('strong', { text: `Joystick ${j.id}: ${j.name}` }),
    ` axes ${j.axes.map((v, i) => `${facts.stickAxes[i]} ${v}`).join(', ')}; buttons ${j.buttons.length ? j.buttons.join(' ') : 'none'}; POV ${j.pov}`));
  if (!items.length) items.push(el('p', { text: 'No joystick is connected.' }));
  for (const id of bound) if (!live.joysticks.some((j) => j.id === id)) items.push(el('div', { class: 'device missing', text: `Joystick ${id}: bound but missing (its axes read −1000 and give −100, as in the panel)` }));
  items.push(el('p', { text: binding && !binding.axis ? `Keys down (virtual keys): ${live.keys.length ? live.keys.join(' ') : 'none'}` : 'Keys down: shown while a Bind waits for a key.' }));
  $('device-list').replaceChildren(...items);
}
function startLive() {
  if (!facts) return;
  const source = new EventSource('/api/live');
  watchLive(source);
  source.onmessage = (e) => {
    live = JSON.parse(e.data);
    if (typeof sticksPanelIds === 'function') sticksPanelIds(live);  // web/sticks.js
    checkBind(); renderDevices(); };
  source.addEventListener('chain', (e) => onChain(JSON.parse(e.data)));
  // One page at a time gets the live readings: a newer one took them over.
  source.addEventListener('replaced', () => { source.close(); say('The configurator is open in another tab or window: this one no longer shows live input.'); });
}

// ---- Saving ----
async function save(keepMine) {
  const r = await api('/api/save', { edits, keepMine: !!keepMine });
  if (r.status === 200) {
    $('conflict').hidden = true; say(r.json.message); if (r.json.saved) await load(false);
    return true;
  } else if (r.status === 409 && r.json.changedOnDisk) {
    $('conflict-text').textContent = `${r.json.changedOnDisk}. Reload it, or keep your edits and save them on top of it?`;
    $('conflict').hidden = false; $('reload').focus();
  } else { say(`Not saved: ${r.json.error || r.status}`); }
  return false;
}

window.addEventListener('DOMContentLoaded', () => {
  $('save').addEventListener('click', () => save(false));
  $('revert').addEventListener('click', () => { edits = {}; say('Edits undone.'); refresh(); });
  $('reload').addEventListener('click', async () => { $('conflict').hidden = true; await load(true); say('Reloaded from the file.'); });
  $('keep-mine').addEventListener('click', () => save(true));
  $('curve-pick').addEventListener('change', () => { curveKey = $('curve-pick').value; renderCurve(); });
  $('preset').addEventListener('change', () => {
    let v = $('preset').value; if (!v) return;
    $('preset').value = '';
    if (!curveEditable()) { say(curveNotLoaded()); return; }
    if (v === 'example') {  // the example's curve for this key, or for its axis
      v = view.examples[curveKey] || view.examples[currentCurve().axis];
      edit(curveKey, v); say(`${curveKey} set to the example's curve: ${v}`); return;
    }
    currentCurve().curve.points = v.split(' ').map(Number); edit(curveKey, v); renderCurve();
  });
  $('copy').addEventListener('click', () => { if (!curveEditable()) { say(curveNotLoaded()); return; } const to = $('copy-to').value; edit(to, currentCurve().curve.points.join(' ')); say(`Copied to ${to}.`); });
  // Each key Y1..Y9 in the file adds one set, whatever its number.
  $('add-set').addEventListener('click', () => {
    const free = (k) => k <= 9 && !view.setKeys.includes(`Y${k}`);
    let k = Math.max(1, view.curveSets.length); while (k <= 9 && !free(k)) ++k;
    if (k > 9) { k = 1; while (k <= 9 && !free(k)) ++k; }
    if (k > 9) return;
    edit(`Y${k}`, '0 100'); curveKey = `Y${k}`;
    say(`Curve set added (Y${k}, linear): X and Z of a new set copy set 0 until edited.`);
  });
  $('remove-set').addEventListener('click', () => {
    const last = view.curveSets.length - 1; const key = view.setKeys[view.setKeys.length - 1];
    edit(key, null); edit(`X${last}`, null); edit(`Z${last}`, null);
    say(`Curve set ${last} removed (${key}, X${last}, Z${last}).`);
  });
  // The header stays on top as the page scrolls: a section jumped to (the
  // links, a finding's field) lands below it, not under it.
  const header = document.querySelector('header');
  new ResizeObserver(() => { document.documentElement.style.scrollPaddingTop = `${header.offsetHeight + 8}px`; }).observe(header);
  load(false).then(startLive);
});
