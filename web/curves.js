// The curve editor's boxes, chart notes and named shapes. The boxes hold
// gains; the chart and the "→" under each box show what the panel sends. A
// shape's points and the response drawn come from zq-setup, which evaluates
// them with the panel's own code: nothing here computes a curve.
'use strict';

let pointError = null;  // { key, k, text, message }: a box typed wrong, shown until fixed
let shapeShown = null;  // { key, text, ideal, exact, deviation, at }: the last shape written
const shapes = {};      // curve key -> the shape last written to it
let shapePresets = [];

function curveNotLoaded() {
  const failed = view.slots.find((s) => s.source === 'failed');
  const where = failed ? `at ${slotFacts(failed.key).name} (${failed.key})` : 'early';
  return `The panel stops reading the file ${where}, before the curves, so every curve is all 0 ` +
    'until that binding is fixed (see Findings). The curves can be edited again once it is.';
}

// One box: the gain of point k, its output below it, and its error if it was typed wrong.
function pointBox(k, p) {
  const wrong = pointError && pointError.key === curveKey && pointError.k === k ? pointError : null;
  const input = el('input', { id: `point-${k}`, type: 'number', step: '1', value: wrong ? wrong.text : p,
    'aria-describedby': `point-out-${k}` });
  if (!curveEditable()) input.disabled = true;
  const error = el('span', { class: 'point-error finding-error', id: `point-error-${k}`, role: 'alert', text: wrong ? wrong.message : '' });
  if (wrong) { input.setAttribute('aria-invalid', 'true'); input.setAttribute('aria-describedby', `point-out-${k} point-error-${k}`); }
  input.addEventListener('change', () => pointTyped(k, input));
  return el('div', { class: 'point' }, el('label', { for: `point-${k}`, text: `${k * 10} %` }, input),
    el('span', { class: 'point-out', id: `point-out-${k}` }), error);
}

function pointTyped(k, input) {
  const text = input.value.trim();
  const v = Number(text);
  const kept = currentCurve().curve.points[k];
  let message = '';
  if (input.validity.badInput) message = `Point ${k} is not a number: type its gain, a whole number (the curve keeps ${kept}).`;
  else if (text === '') message = `Point ${k} is empty: type its gain, a whole number (the curve keeps ${kept}).`;
  else if (!Number.isInteger(v)) message = `Point ${k} is a whole number: ${text} is not (the curve keeps ${kept}).`;
  else if (v < -2147483648 || v > 2147483647) message = `Point ${k} lies within -2147483648 to 2147483647 (the curve keeps ${kept}).`;
  const box = $(`point-error-${k}`);
  box.textContent = message;
  if (message) {
    pointError = { key: curveKey, k, text: input.value, message };
    input.setAttribute('aria-invalid', 'true');
    input.setAttribute('aria-describedby', `point-out-${k} point-error-${k}`);
    return;
  }
  if (pointError && pointError.key === curveKey && pointError.k === k) pointError = null;
  input.removeAttribute('aria-invalid');
  input.setAttribute('aria-describedby', `point-out-${k}`);
  setPoint(k, v);
}

// Called by renderCurve for the curve shown: its findings, whether it can be
// edited, and the shape controls of that curve.
function curveShown(c) {
  if (pointError && pointError.key !== curveKey) pointError = null;
  const editable = curveEditable();
  $('curve-note').textContent = editable ? '' : curveNotLoaded();
  $('curve-note').hidden = editable;
  for (const id of ['shape-deadzone', 'shape-saturation', 'shape-curvature', 'shape-invert', 'shape-preset']) $(id).disabled = !editable;
  $('curve-findings').replaceChildren(...findingsFor(c.key).map((f) =>
    el('div', { class: `finding-${f.severity}`, text: `${f.severity}: ${f.message}` })));
  if (document.activeElement && document.activeElement.closest && document.activeElement.closest('#shape')) return;
  const s = shapes[c.key] || { deadZone: 0, saturation: 100, curvature: 0, invert: false };
  $('shape-deadzone').value = s.deadZone; $('shape-saturation').value = s.saturation;
  $('shape-curvature').value = s.curvature; $('shape-invert').checked = s.invert;
  const text = c.curve.points.join(' ');
  if (!shapeShown || shapeShown.key !== c.key || shapeShown.text !== text) $('shape-wrote').textContent = '';
}

// Called by drawChart once the panel's response is drawn: what the chart
// plots at what scale, the full-deflection lines, the shape aimed at, and
// each point's output.
function chartDrawn(svg, m, mk) {
  svg.dataset.scale = m;
  const label = (x, y, text) => { const t = mk('text', { class: 'axis-label', x, y }); t.textContent = text; svg.append(t); };
  if (m > 100) {
    for (const o of [-100, 100]) {
      svg.append(mk('line', { class: 'full', x1: CH.x0, x2: CH.x1, y1: py(o, m), y2: py(o, m) }));
      label(2, py(o, m) + 4, o);
    }
  }
  const text = currentCurve().curve.points.join(' ');
  if (shapeShown && shapeShown.key === curveKey && shapeShown.text === text) {
    let d = ''; for (let i = 0; i <= 2000; i += 4) d += `${i ? 'L' : 'M'}${px(i - 1000).toFixed(1)},${py(shapeShown.ideal[i], m).toFixed(1)}`;
    svg.append(mk('path', { class: 'ideal', d, id: 'shape-line' }));
  }
  for (let k = 0; k <= 10; ++k) {
    const out = $(`point-out-${k}`);
    if (out) out.textContent = `→ ${curveOutputs[1000 + k * 100]}`;
  }
}

function dragShown(k, out, gain) {
  $('drag-readout').textContent = k === null ? '' :
    `Point ${k} (${k * 10} %): output ${Math.round(out)}, so its gain is ${gain} % (output × 100 ÷ ${k * 10} %).`;
}

// ---- Named shapes ----
async function writeShape(shape) {
  const key = curveKey;
  if (!curveEditable()) { say(curveNotLoaded()); return; }
  const r = await api('/api/curve/shape', shape);
  if (r.status !== 200) { $('shape-wrote').textContent = `Not written: ${r.json.error || r.status}.`; return; }
  if (key !== curveKey) return;  // another curve was picked meanwhile
  shapes[key] = r.json.shape;
  shapeShown = { key, text: r.json.text, ideal: r.json.ideal, exact: r.json.exact, deviation: r.json.deviation, at: r.json.at };
  currentCurve().curve.points = r.json.points.slice();
  pointError = null;
  $('points').replaceChildren(...r.json.points.map((p, k) => pointBox(k, p)));
  edit(key, r.json.text);
  $('shape-wrote').textContent = `Wrote ${key} = ${r.json.text}. ` + (r.json.exact
    ? 'The panel\u2019s response follows this shape to within 1 at every reading.'
    : `The eleven points only approximate this shape: between them the panel\u2019s response is a straight line, ` +
      `up to ${r.json.deviation} off at reading ${r.json.at} (the dashed line is the shape).`);
  renderCurve();
}
function shapeFromControls() {
  return { deadZone: Number($('shape-deadzone').value), saturation: Number($('shape-saturation').value),
    curvature: Number($('shape-curvature').value), invert: $('shape-invert').checked };
}
function shapeChanged() {
  const s = shapeFromControls();
  const bad = ['deadZone', 'saturation', 'curvature'].find((n) => !Number.isInteger(s[n]) || $(`shape-${n.toLowerCase()}`).value.trim() === '');
  if (bad) { $('shape-wrote').textContent = 'Not written: dead zone, saturation and curvature are whole numbers.'; return; }
  writeShape(s);
}

window.addEventListener('DOMContentLoaded', () => {
  for (const id of ['shape-deadzone', 'shape-saturation', 'shape-curvature', 'shape-invert']) $(id).addEventListener('change', shapeChanged);
  $('shape-preset').addEventListener('change', () => {
    const p = shapePresets.find((x) => x.name === $('shape-preset').value);
    $('shape-preset').value = '';
    if (!p) return;
    $('shape-deadzone').value = p.deadZone; $('shape-saturation').value = p.saturation;
    $('shape-curvature').value = p.curvature; $('shape-invert').checked = p.invert;
    writeShape({ deadZone: p.deadZone, saturation: p.saturation, curvature: p.curvature, invert: p.invert });
  });
  api('/api/curve/shapes').then((r) => {
    if (r.status !== 200) return;
    shapePresets = r.json.presets;
    $('shape-preset').append(...shapePresets.map((p) => el('option', { value: p.name, text: p.name })));
  });
});
