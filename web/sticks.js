// Sticks keep their numbers: the sticks connected now and the pins of
// [sticks] in the settings as edited here. zq-setup matches them with the
// panel's own rules; this page only shows the answer and turns "Pin as id N"
// into an edit of [sticks], saved with Save like every other edit.
'use strict';

let sticksAsked = null;   // the edits the last answer was for, as JSON
let sticksShown = null;   // the last answer drawn, as JSON
let sticksAnswer = null;

function sticksEl(tag, attrs = {}, ...children) {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) { if (k === 'text') e.textContent = v; else if (k.startsWith('on')) e.addEventListener(k.slice(2), v); else e.setAttribute(k, v); }
  for (const c of children) e.append(c);
  return e;
}

function pinAs(stick, id) {
  // One device, one pin: a pin it had under another id moves.
  if (stick.pinnedAs !== null && stick.pinnedAs !== id) edit(`sticks.${stick.pinnedAs}`, null);
  edit(`sticks.${id}`, stick.line);
  say(`Joystick ${id} pinned to ${stick.line} (not yet saved).`);
  sticksAsked = null;
}

function renderSticks(a) {
  const items = [];
  for (const s of a.present) {
    const reads = s.readsAs === null ? 'read by no joystick id (every id is taken)' : `reads as joystick ${s.readsAs}`;
    const head = `System joystick ${s.id}: ${s.name} (${s.vidpid}), ${reads}` + (s.pinnedAs !== null ? ', pinned' : '');
    const row = sticksEl('div', { class: 'device stick', id: `stick-${s.id}` }, sticksEl('strong', { text: head }));
    if (!s.line) {
      row.append(sticksEl('div', { class: 'words', text: 'The system gives no vendor and product number for it: it cannot be pinned.' }));
    } else {
      const pick = sticksEl('select', { id: `pin-id-${s.id}`, 'aria-label': `Joystick id to pin ${s.name} as` });
      for (let id = 0; id < facts.joysticks; ++id) pick.append(sticksEl('option', { value: id, text: id }));
      pick.value = s.pinnedAs !== null ? s.pinnedAs : (s.readsAs !== null ? s.readsAs : 0);
      const button = sticksEl('button', { type: 'button', id: `pin-${s.id}`, text: `Pin as id ${pick.value}`,
        onclick: () => pinAs(s, Number(pick.value)) });
      pick.addEventListener('change', () => { button.textContent = `Pin as id ${pick.value}`; });
      row.append(sticksEl('div', { class: 'words' }, sticksEl('code', { text: s.line })),
        sticksEl('div', {}, pick, ' ', button));
      if (s.bluetooth) row.append(sticksEl('div', { class: 'words', text: 'Bluetooth: it has no USB port path, so a pin finds it by serial (where it reports one) or by name.' }));
    }
    items.push(row);
  }
  if (!a.present.length) items.push(sticksEl('p', { text: 'No joystick is connected.' }));
  const pins = a.pins.map((p) => {
    const li = sticksEl('li', { id: `pinned-${p.id}`, class: p.state === 'found' ? '' : 'missing' },
      sticksEl('span', { text: `${p.state === 'found' ? 'Found' : p.state === 'missing' ? 'Missing' : 'Not chosen'}: ${p.text}` }), ' ',
      sticksEl('button', { type: 'button', id: `unpin-${p.id}`, text: `Remove the pin of id ${p.id}`,
        onclick: () => { edit(`sticks.${p.id}`, null); say(`The pin of joystick ${p.id} removed (not yet saved).`); sticksAsked = null; } }));
    return li;
  });
  for (const m of a.malformed) pins.push(sticksEl('li', { class: 'missing', text: `[sticks] ${m.id}: ${m.error}: the line pins nothing, joystick ${m.id} is numbered by the system.` }));
  const list = pins.length ? sticksEl('ul', { id: 'pin-list' }, ...pins)
    : sticksEl('p', { id: 'pin-list', text: 'No stick is pinned: joysticks keep the system\'s numbering.' });
  $('stick-list').replaceChildren(...items, sticksEl('h3', { text: 'Pinned in [sticks]' }), list);
}

// The live readings name sticks by the system's ids, and the panel reads
// them under the ids the pins give them: binding by pressing, the live view
// and the curve's dot use the panel's. A stick no id reads (a twin a pin
// cannot choose, or no id left) is left out of them.
function sticksPanelIds(reading) {
  if (!sticksAnswer) return;
  const asId = new Map(sticksAnswer.present.map((s) => [s.id, s.readsAs]));
  reading.joysticks = reading.joysticks.filter((j) => asId.get(j.id) !== null)
    .map((j) => (asId.has(j.id) ? { ...j, id: asId.get(j.id) } : j));
}

async function sticksPoll() {
  try {
    if (typeof facts !== 'undefined' && facts && typeof edits !== 'undefined') {
      const body = JSON.stringify({ edits });
      const res = await fetch('/api/sticks', { method: 'POST', headers: { 'Content-Type': 'application/json' }, body });
      if (res.ok) {
        const text = await res.text();
        // Drawn only when it changed, so a list being read or a pick being made is left alone.
        const focused = document.activeElement && $('stick-list').contains(document.activeElement);
        if (text !== sticksShown && (!focused || body !== sticksAsked)) {
          sticksShown = text; sticksAnswer = JSON.parse(text); renderSticks(sticksAnswer);
        }
        sticksAsked = body;
      }
    }
  } catch (e) { /* the server has gone: the page says so elsewhere */ }
  setTimeout(sticksPoll, 400);
}

window.addEventListener('DOMContentLoaded', () => { sticksPoll(); });
