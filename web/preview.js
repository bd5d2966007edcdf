// The preview: the panel's own core on the settings as edited here (unsaved)
// and the live devices. The server runs it; this page only draws what it
// returns and tells it of each edit. Nothing is sent to the simulator.
'use strict';

const PREVIEW_SCALE = 4;
const PREVIEW_LABELS = { f: 'flaps', yp: 'Y (pitch)', xyp: 'X (roll)', zyp: 'Z (yaw)', xp: 'throttle / curve set', ty: 'Y trim', tx: 'X trim', tz: 'Z trim', Label1: 'fire timer 1', Label2: 'fire timer 2' };
let previewPosted = null;   // the edits the preview last got, as JSON
let previewSaved = null;    // the file they were applied to
let previewModel = null;

function previewEl(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) { if (k === 'text') e.textContent = v; else e.setAttribute(k, v); }
  for (const c of children) e.append(c);
  return e;
}
const rgb = (c) => `rgb(${c[0]}, ${c[1]}, ${c[2]})`;

// Any edit (or another file read) restarts the preview at its next tick.
async function previewSync() {
  if (typeof edits === 'undefined' || typeof saved === 'undefined' || !saved) return;
  const body = JSON.stringify({ edits });
  if (body === previewPosted && saved === previewSaved) return;
  previewPosted = body; previewSaved = saved;
  await fetch('/api/preview', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body });
}

// The panel's own pixels, drawn by the server with the panel's font and
// painting code, each shown as a PREVIEW_SCALE square.
let previewPictureData = null;
function drawPicture(canvas, p) {
  if (previewPictureData === p.rgb) return;
  previewPictureData = p.rgb;
  const bytes = atob(p.rgb);
  const image = new ImageData(p.width, p.height);
  for (let i = 0, j = 0; i < bytes.length; i += 3, j += 4) {
    image.data[j] = bytes.charCodeAt(i); image.data[j + 1] = bytes.charCodeAt(i + 1);
    image.data[j + 2] = bytes.charCodeAt(i + 2); image.data[j + 3] = 255;
  }
  const one = document.createElement('canvas');
  one.width = p.width; one.height = p.height;
  one.getContext('2d').putImageData(image, 0, 0);
  canvas.width = p.width * PREVIEW_SCALE; canvas.height = p.height * PREVIEW_SCALE;
  const g = canvas.getContext('2d');
  g.imageSmoothingEnabled = false;
  g.drawImage(one, 0, 0, canvas.width, canvas.height);
}

// Without the server's picture: the labels in the browser's nearest font.
function drawLabels(canvas, m) {
  previewPictureData = null;
  const s = PREVIEW_SCALE;
  canvas.width = m.panel.width * s; canvas.height = m.panel.height * s;
  const g = canvas.getContext('2d');
  g.fillStyle = rgb(m.panel.background); g.fillRect(0, 0, canvas.width, canvas.height);
  g.font = `${8 * s}px "DejaVu Sans", Tahoma, sans-serif`;
  g.textBaseline = 'alphabetic';
  const drawLabel = (l) => {
    const w = g.measureText(l.text).width;
    g.fillStyle = rgb(l.background); g.fillRect(l.left * s, l.top * s, w, m.labelHeight * s);
    g.save(); g.beginPath(); g.rect(l.left * s, l.top * s, w, m.labelHeight * s); g.clip();
    g.fillStyle = rgb(l.color); g.fillText(l.text, l.left * s, (l.top + 10) * s);
    g.restore();
  };
  m.labels.filter((l) => l.beforeP).forEach(drawLabel);
  g.fillStyle = '#ffffff';  // P: a white line of rows in each of its 20 columns
  m.paint.rows.forEach(([first, last], i) => {
    if (first <= last) g.fillRect((m.paint.left + i + 1) * s, (m.paint.top + first) * s, s, (last - first + 1) * s);
  });
  m.labels.filter((l) => !l.beforeP).forEach(drawLabel);
}

function drawPanel(m) {
  const canvas = document.getElementById('preview-panel');
  if (m.picture) drawPicture(canvas, m.picture); else drawLabels(canvas, m);
  canvas.title = m.picture ? 'Drawn by the panel\'s own code and font.' : `Drawn in the browser's font: ${m.noPicture}.`;
  canvas.setAttribute('aria-label', 'The panel: ' + m.labels.map((l) => `${PREVIEW_LABELS[l.name]} ${l.text.trim()}`).join(', '));
}

function renderPreview(m) {
  previewModel = m;
  const status = document.getElementById('preview-status');
  status.dataset.generation = m.generation;
  if (!m.running) { status.textContent = 'The preview starts while this page receives the live input.'; return; }
  status.textContent = `Running on ${m.settings === 'defaults' ? 'the built-in defaults (no Setup.ini yet)' : 'the settings as edited here, not yet saved'}: ` +
    `tick ${m.tick} since it last started fresh` + (m.generation > 1 ? ` (restarted ${m.generation - 1} times by edits)` : '') + '.';
  drawPanel(m);
  const words = m.labels.map((l) => {
    const t = l.text.trim();
    const meaning = facts && facts.labelWords[t];  // the panel's Russian texts, as app.js asked them
    return previewEl('li', { text: `${PREVIEW_LABELS[l.name]}: ${t}${meaning ? ` (${meaning})` : ''}` });
  });
  document.getElementById('preview-labels').replaceChildren(...words);
  const errors = document.getElementById('preview-errors');
  errors.hidden = m.errors.length === 0;
  errors.replaceChildren(...m.errors.map((e) => previewEl('p', { text: `Error box at tick ${e.tick}: ${e.text}` })),
    ...(m.loadEnded ? [previewEl('p', { text: 'The settings load ended there: the panel runs on what it read before that line.' })] : []));
  const sends = m.sends.map((d) => previewEl('li', { 'data-tick': d.tick },
    previewEl('code', { text: d.text }), ` tick ${d.tick}: ${d.channels.join(', ')}`,
    ...(d.problems.length ? [previewEl('span', { class: 'missing', text: ` (${d.problems.join('; ')})` })] : [])));
  if (!sends.length) sends.push(previewEl('li', { text: 'Nothing sent yet: the panel sends only what changes.' }));
  document.getElementById('preview-sends').replaceChildren(...sends);
  const r = m.recording;
  const rec = document.getElementById('preview-record-status');
  document.getElementById('preview-record').disabled = r.state === 'waiting' || r.state === 'recording';
  rec.textContent = { idle: '', waiting: 'Starting…', recording: `Recording: ${r.ticks} of ${r.of} ticks.`,
    done: 'Recorded. Save the settings, put recording.script beside Setup.ini and replay it: zq-replay --setup Setup.ini recording.script',
    stopped: 'An edit restarted the preview: the recording was dropped.' }[r.state];
  document.getElementById('preview-download').hidden = !r.ready;
  if (typeof renderChain === 'function') renderChain();  // the labels held inputs light
}

async function previewPoll() {
  if (typeof serverGone !== 'undefined' && serverGone) return;  // the page says so elsewhere
  try {
    await previewSync();
    const res = await fetch('/api/preview');
    if (res.ok) renderPreview(await res.json());
  } catch (e) { /* the server has gone: the page says so elsewhere */ }
  setTimeout(previewPoll, 150);
}

window.addEventListener('DOMContentLoaded', () => {
  document.getElementById('preview-record').addEventListener('click', () => fetch('/api/preview/record', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body: '{}' }));
  previewPoll();
});
