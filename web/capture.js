// The page's hold on the player's work: a Bind that owns the keyboard while
// it waits, a question before a page with unsaved edits is left, and a page
// that notices zq-setup has stopped, keeps its edits, and hands them to the
// page of a zq-setup started again on the same file (the same file gets the
// same port, so the same browser storage).
'use strict';

let serverGone = false;     // zq-setup has stopped: the page asks it nothing more
let boundNow = null;        // the slot just bound, named once the server has read it
const DRAFT_PREFIX = 'zq-setup-edits:';
const DRAFT_MAX_EDITS = 200;
const DRAFT_MAX_TEXT = 1000;
let draftStamp = null;      // this page's draft in storage, if it wrote one
let liveStream = null;

// ---- Bind owns the keyboard ----
// The binding itself comes from the server's reading of the keyboard; here
// the browser is only kept from acting on the keys (F5, Ctrl+R, Backspace,
// Alt+Left...). Escape cancels.
// A key pressed during the Bind stays the page's until let go: its repeats
// after the binding came back must not reload the page either.
const heldSinceBind = new Set();
function captureKey(e) {
  if (!binding && !heldSinceBind.has(e.code)) return;
  e.preventDefault();
  e.stopPropagation();
  if (e.type === 'keyup') { heldSinceBind.delete(e.code); return; }
  if (!binding) return;
  if (e.type === 'keydown') heldSinceBind.add(e.code);
  if (e.type === 'keydown' && e.key === 'Escape') cancelBind('cancelled with Escape');
}
for (const type of ['keydown', 'keypress', 'keyup']) window.addEventListener(type, captureKey, true);

// The key whose press cancels instead of binding, found by its name.
function cancelKey() {
  for (const [vk, name] of Object.entries(facts.keyNames)) if (name === 'Escape') return Number(vk);
  return -1;
}

function cancelBind(why) {
  if (!binding) return;
  const { key, axis } = binding;
  binding = null;
  if (!axis) keysWanted(false);
  say(`${slotFacts(key).name}: ${why}; the binding is unchanged.`);
  renderSlots();
  captureShown();
}

// Called by app.js when a Bind starts or ends (`text`: what it bound).
function captureShown(key, text) {
  const bar = $('capture');
  if (binding) {
    $('capture-text').textContent = binding.axis
      ? `Waiting for an axis for ${slotFacts(binding.key).name}: the page takes no keys meanwhile.`
      : `Waiting for a key or button for ${slotFacts(binding.key).name}: every key is bound, Escape cancels.`;
    bar.hidden = false;
  } else {
    bar.hidden = true;
  }
  if (text) boundNow = { key, text };
}

// Called by app.js after each render: the name of what was just bound, as
// the server reads the edited text.
function captureRendered() {
  if (!boundNow || !view) return;
  const s = view.slots.find((x) => x.key === boundNow.key);
  if (!s || s.value !== boundNow.text) return;
  say(`${slotFacts(s.key).name}: bound to ${s.value}${s.name ? ` (${s.name})` : ''}`);
  boundNow = null;
}

// ---- Leaving a page with unsaved edits ----
// Browsers show their own question; the text is what older ones want set.
const LEAVE_TEXT = 'The edits on this page are not saved.';
window.addEventListener('beforeunload', (e) => {
  if (Object.keys(edits).length === 0) return undefined;
  e.preventDefault();
  e.returnValue = LEAVE_TEXT;
  return LEAVE_TEXT;
});

// ---- The server gone ----
function draftKey() { return saved && saved.canonical ? DRAFT_PREFIX + saved.canonical : null; }

function keepDraft() {
  const key = draftKey();
  if (!key || Object.keys(edits).length === 0) return;
  try {
    if (draftStamp) {
      // Taken back by a newer page (applied or dropped): not written again.
      const there = JSON.parse(localStorage.getItem(key) || 'null');
      if (!there || there.stamp !== draftStamp) return;
    }
    draftStamp = draftStamp || `${Date.now()}-${Math.random()}`;
    localStorage.setItem(key, JSON.stringify({ stamp: draftStamp, at: new Date().toISOString(), edits }));
  } catch (err) { /* storage full or off: the edits stay on this page alone */ }
}

function goneNow() {
  if (serverGone) return;
  serverGone = true;
  if (liveStream) liveStream.close();
  if (binding) { binding = null; renderSlots(); captureShown(); }
  keepDraft();
  const n = Object.keys(edits).length;
  $('gone-text').textContent = 'zq-setup has stopped: nothing can be saved from this page. ' +
    (n ? `Your ${n} unsaved edit${n === 1 ? ' stays' : 's stay'} on this page and in this browser: ` +
      `start zq-setup again on ${saved ? saved.path : 'the same file'} and its page offers ${n === 1 ? 'it' : 'them'} back.`
      : 'There were no unsaved edits.');
  $('gone').hidden = false;
  $('save').disabled = true;
  $('conflict').hidden = true;
}

// Asks whether zq-setup still answers; a refused connection, a server that
// no longer knows this page's session, or another program (or another run)
// answering at this address means it has gone.
let asking = false;
async function checkServer() {
  if (serverGone || asking || !facts) return;
  asking = true;
  try {
    const res = await fetch('/api/facts', { cache: 'no-store' });
    if (res.status === 403) goneNow();
    else if (res.ok && (await res.json()).run !== facts.run) goneNow();
  } catch (err) {
    goneNow();
  } finally {
    asking = false;
  }
}

// Called by app.js with its live stream: an error on it is checked at once.
function watchLive(source) {
  liveStream = source;
  source.addEventListener('error', checkServer);
}

window.addEventListener('pagehide', () => { if (serverGone) keepDraft(); });

// ---- Edits kept by a page whose zq-setup stopped ----
// What storage holds is checked as anything from outside: only known keys
// with texts are offered, and nothing is applied without the player.
function readDraft() {
  const key = draftKey();
  if (!key) return null;
  let d = null;
  try { d = JSON.parse(localStorage.getItem(key) || 'null'); } catch (err) { return null; }
  if (!d || typeof d !== 'object' || !d.edits || typeof d.edits !== 'object' || Array.isArray(d.edits)) return null;
  const entries = Object.entries(d.edits);
  if (entries.length === 0 || entries.length > DRAFT_MAX_EDITS) return null;
  for (const [k, v] of entries) {
    if (!knownKey(k) || !(v === null || (typeof v === 'string' && v.length <= DRAFT_MAX_TEXT))) return null;
  }
  return { at: typeof d.at === 'string' ? d.at : '', edits: d.edits };
}
function knownKey(k) {
  return facts.slots.some((s) => s.key === k) || facts.values.some((v) => v.key === k) ||
    curveEntries().some((c) => c.key === k) || /^[YXZ][1-9]$/.test(k);
}
function shownValue(k) {
  const s = saved.slots.find((x) => x.key === k);
  if (s) return s.set ? s.value : 'not set';
  const v = saved.values[k];
  if (v) return v.set ? v.value : 'not set';
  const c = curveEntries().find((x) => x.key === k);
  return c ? c.curve.points.join(' ') : 'not set';
}

// Called by app.js once the file is loaded.
function offerDraft() {
  const d = readDraft();
  if (!d) { $('restore').hidden = true; return; }
  // Edits the file has had saved since are nothing to offer.
  for (const [k, v] of Object.entries(d.edits)) if (v !== null && shownValue(k) === v) delete d.edits[k];
  if (Object.keys(d.edits).length === 0) { dropDraft(); return; }
  const when = d.at ? new Date(d.at) : null;
  const n = Object.keys(d.edits).length;
  $('restore-text').textContent = `This browser kept ${n} unsaved edit${n === 1 ? '' : 's'} of this file from a page ` +
    `whose zq-setup stopped${when && !Number.isNaN(when.getTime()) ? ` (${when.toLocaleString()})` : ''}:`;
  $('restore-list').replaceChildren(...Object.entries(d.edits).map(([k, v]) =>
    el('li', { text: `${slotFacts(k) ? `${slotFacts(k).name}, ` : ''}${k}: ${shownValue(k)} → ${v === null ? 'removed' : v === '' ? 'empty' : v}` })));
  $('restore').hidden = false;
  $('restore-apply').onclick = () => {
    Object.assign(edits, d.edits);
    dropDraft();
    say(`${n} kept edit${n === 1 ? '' : 's'} applied: not saved yet.`);
    $('save').disabled = $('revert').disabled = false;
    refresh();
  };
  $('restore-drop').onclick = () => { dropDraft(); say('The kept edits were dropped.'); };
}
function dropDraft() {
  const key = draftKey();
  try { if (key) localStorage.removeItem(key); } catch (err) { /* nothing kept */ }
  $('restore').hidden = true;
}

window.addEventListener('DOMContentLoaded', () => {
  $('bind-cancel').addEventListener('click', () => cancelBind('cancelled'));
  setInterval(checkServer, 1000);
});
