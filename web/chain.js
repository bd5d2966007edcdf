// What the preview's core did in its last tick, pushed by zq-setup on every
// tick: the way of each flight axis from the stick to the message, the bound
// inputs held now with the readings of the bound axes, and the last press and
// what it did. Every number here is the core's own; the page only draws them,
// so the curve's live dot cannot say other than what the preview sends.
'use strict';

let chainNow = null;  // the "chain" part of the preview's last tick

// Pushed only when it changed; the preview's poll and a curve picked draw it
// again, so that the dot's text follows the curve shown.
function onChain(c) {
  chainNow = c;
  renderChain();
}

function chainEl(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) { if (k === 'text') e.textContent = v; else e.setAttribute(k, v); }
  for (const c of children) e.append(c);
  return e;
}

// A reading as the panel takes it: missing sticks read what their record holds.
function readingText(onStick, missing, reading) {
  if (!onStick) return `not on a stick: ${reading}`;
  return missing ? `missing: ${reading}` : `${reading}`;
}
const stretchText = (s) => `${s.from === s.to ? s.from : `${s.from}–${s.to}`} %, gain ${s.gains.join(' to ')}`;

// Each step's value first, what it came from under it.
function chainRow(a) {
  const cell = (step, value, main, detail) => chainEl('td', { id: `chain-${a.letter}-${step}`, 'data-value': value },
    chainEl('div', { text: main }), chainEl('div', { class: 'words', text: detail }));
  return chainEl('tr', { id: `chain-${a.letter}` },
    chainEl('th', { scope: 'row', text: `${a.word} (${a.slot})` }),
    cell('reading', a.reading, readingText(a.onStick, a.missing, a.reading), a.onStick ? a.input : `${a.slot} is ${a.input === 'nothing' ? 'empty' : 'a key'}`),
    cell('curve', a.curveSet, `set ${a.curveSet} (${a.curveKey})`, stretchText(a.curve)),
    cell('shaped', a.shaped, `${a.shaped}`, ''),
    cell('trim', a.trimTotal, `${a.trimTotal}`, `${a.trimBtn} by buttons + ` + (a.trimOnStick
      ? `${a.trimAxis} from ${a.trimInput} (${readingText(true, a.trimMissing, a.trimReading)}) through ${a.trimCurveKey}, ${stretchText(a.trimCurve)}`
      : `${a.trimAxis}: ${a.trimSlot} is not on a stick`)),
    cell('routing', a.apart ? 1 : 0, a.apart ? `apart (${a.routing} on)` : `mixed in (${a.routing} off)`,
      a.apart ? `the trim on /${a.trimChannel}` : `with the trim ${a.trimMixed}`),
    cell('sent', a.value, a.segment, `trim ${a.trimSegment}`));
}

function renderChain() {
  const c = chainNow;
  if (!c) return;
  const body = document.getElementById('chain-rows');
  if (body) body.replaceChildren(...c.axes.map(chainRow));
  const happened = document.getElementById('happened');
  if (happened && c.happened) happened.textContent = `Tick ${c.happened.tick}: ${c.happened.text}`;
  lightInputs(c);
  if (typeof view !== 'undefined' && view) showLiveDot();
}

// Bound inputs held now light their binding rows and the preview's labels
// they act on; bound axes get a bar with their reading beside their field.
function lightInputs(c) {
  const lit = new Set();
  for (const s of c.slots) {
    const field = document.getElementById(`field-${s.key}`);
    const row = field && field.closest('tr');
    if (s.reading !== undefined) {
      if (field) axisBar(field, s);
      continue;
    }
    if (row) row.classList.toggle('input-held', s.held);
    if (s.held) for (const l of s.labels) lit.add(l);
  }
  const items = document.querySelectorAll('#preview-labels li');
  const labels = (typeof previewModel !== 'undefined' && previewModel && previewModel.labels) || [];
  items.forEach((li, i) => li.classList.toggle('input-held', !!labels[i] && lit.has(labels[i].name)));
}

function axisBar(field, s) {
  let bar = document.getElementById(`bar-${s.key}`);
  if (!bar) {
    bar = chainEl('span', { id: `bar-${s.key}`, class: 'axis-bar', role: 'meter', 'aria-valuemin': -1000, 'aria-valuemax': 1000 },
      chainEl('span', { class: 'axis-track' }, chainEl('span', { class: 'axis-fill' })), chainEl('span', { class: 'axis-reading' }));
    field.after(bar);
  }
  const label = s.missing ? `missing: ${s.reading}` : `${s.reading}`;
  bar.setAttribute('aria-valuenow', s.reading);
  bar.setAttribute('aria-label', `${s.key} reading ${label}`);
  const fill = bar.firstChild.firstChild;
  const half = Math.min(1000, Math.abs(s.reading)) / 20;  // percent of the bar, from its middle
  fill.style.left = `${s.reading < 0 ? 50 - half : 50}%`;
  fill.style.width = `${half}%`;
  bar.lastChild.textContent = label;
  bar.classList.toggle('missing', !!s.missing);
}

// ---- The curve's live dot ----
// The shown curve's axis as the preview's last tick read and shaped it; a
// curve of a set that is not selected shapes the same reading through its own
// table (the core's, from zq-setup).
function liveReading() {
  if (!chainNow || typeof currentCurve !== 'function') return null;
  const c = currentCurve();
  const flight = chainNow.axes.find((a) => a.letter === c.axis);
  if (flight) {
    if (!flight.onStick) return null;
    const set = Math.floor(curveEntries().findIndex((e) => e.key === c.key) / facts.axes.length);
    const selected = set === flight.curveSet;
    const output = selected ? flight.shaped : (curveOutputs ? curveOutputs[flight.reading + 1000] : null);
    if (output === null || output === undefined) return null;
    return { axis: flight, trim: false, selected, set, reading: flight.reading, output, missing: flight.missing };
  }
  const trimmed = chainNow.axes.find((a) => a.trimCurveKey === c.axis);
  if (!trimmed || !trimmed.trimOnStick) return null;
  return { axis: trimmed, trim: true, selected: true, reading: trimmed.trimReading, output: trimmed.trimAxis, missing: trimmed.trimMissing };
}

function liveDotText(d) {
  const a = d.axis;
  const slot = d.trim ? a.trimSlot : a.slot;
  const input = d.trim ? a.trimInput : a.input;
  const head = `${slot} (${input})${d.missing ? ': joystick missing' : ''}: reading ${d.reading} → output ${d.output}`;
  if (d.trim) {
    const where = a.apart ? `on its own channel as ${a.trimSegment}` : `mixed into ${a.word} (${a.trimSegment} on its own channel)`;
    return `${head}; with ${a.trimBtn} set by buttons the ${a.word} trim is ${a.trimTotal}, sent ${where}.`;
  }
  const sends = a.apart ? `${a.value} on the ${a.word} axis (${a.segment})`
    : `${a.value} on the ${a.word} axis (${a.segment}), with the trim ${a.trimMixed} mixed in (${a.routing} off)`;
  if (!d.selected) {
    return `${head} in this set; curve set ${a.curveSet} is selected, so the panel sends ${a.shaped} through its curve: ${sends}.`;
  }
  return `${head}; the panel sends ${sends}.`;
}

function showLiveDot() {
  const d = liveReading();
  const text = document.getElementById('live-dot');
  if (!text) return;
  if (!d) { text.textContent = chainNow ? 'No joystick axis is bound to this curve.' : 'The live dot follows the preview once it runs.'; }
  else text.textContent = liveDotText(d);
  const mark = document.getElementById('live-dot-mark');
  if (mark && d && curveOutputs) { const m = scaleY(); mark.setAttribute('cx', px(d.reading)); mark.setAttribute('cy', py(d.output, m)); }
  else if (d && curveOutputs && !mark) drawChart();
  else if (!d && mark) mark.remove();
}

window.addEventListener('DOMContentLoaded', () => {
  document.getElementById('curve-pick').addEventListener('change', () => { if (chainNow && view) showLiveDot(); });
});
