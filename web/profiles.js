// Profiles: the settings files beside the one opened (its folder's *.ini and
// the Setup.ini of each folder one level down). zq-setup lists, reads and
// writes them; this only draws the list and asks before anything is lost.
'use strict';

let profiles = null;       // the last list
let profileSticks = '';    // the live sticks the list was drawn with

function profileAsk(text, buttons, name) {
  $('profile-ask-text').textContent = text;
  $('profile-ask-label').hidden = name === undefined;
  $('profile-ask-name').value = name || '';
  $('profile-ask-buttons').replaceChildren(...buttons.map(([id, label, act]) =>
    el('button', { type: 'button', id, text: label, onclick: async () => { $('profile-ask').hidden = true; await act(); } })));
  $('profile-ask').hidden = false;
  (name === undefined ? $('profile-ask-buttons').firstChild : $('profile-ask-name')).focus();
}
function profileAskClose() { $('profile-ask').hidden = true; }

function stickText(s) {
  const what = s.pin ? `joystick ${s.id} (${s.pin})` : `joystick ${s.id}`;
  return `${what}: ${s.present ? 'connected' + (s.name ? ` (${s.name})` : '') : 'missing'}`;
}

async function profilesLoad() {
  const r = await api('/api/profiles');
  if (r.status !== 200) { $('profiles-folder').textContent = r.json.error || 'The profiles could not be listed.'; return; }
  profiles = r.json;
  profileSticks = live.joysticks.map((j) => j.id).join(' ');
  $('profiles-folder').textContent = `Profiles in ${profiles.folder}` + (profiles.problem ? `: ${profiles.problem}` : '') +
    '. Each is the .ini file of this folder, or the Setup.ini of a folder in it.';
  const rows = profiles.profiles.map((p, i) => {
    const changed = p.changed ? new Date(p.changed * 1000).toLocaleString() : '';
    // each stick on its own line, the missing ones marked
    const sticks = p.unreadable ? [el('span', { class: 'missing', text: `cannot be read: ${p.unreadable}` })] :
      p.sticks.length ? p.sticks.map((s) => el('div', { class: s.present ? '' : 'missing', text: stickText(s) })) : ['no joystick'];
    const open = el('button', { type: 'button', id: `profile-open-${i}`, text: p.open ? 'Open now' : 'Open', onclick: () => profileOpen(p) });
    open.disabled = p.open;
    const rename = el('button', { type: 'button', id: `profile-rename-${i}`, text: 'Rename', onclick: () => profileRename(p) });
    const del = el('button', { type: 'button', id: `profile-delete-${i}`, text: 'Delete', onclick: () => profileDelete(p) });
    del.disabled = p.open;
    return el('tr', { class: p.open ? 'edited' : '', 'data-file': p.file },
      el('th', { scope: 'row', text: p.file }, ...(p.open ? [el('div', { class: 'words', text: 'edited here' })] : [])),
      el('td', { text: changed }),
      el('td', {}, ...sticks),
      el('td', {}, open, ' ', rename, ' ', del));
  });
  $('profile-table').replaceChildren(el('thead', {}, el('tr', {}, el('th', { text: 'Profile' }), el('th', { text: 'Last change' }),
    el('th', { text: 'Sticks it uses' }), el('th', { text: '' }))), el('tbody', {}, ...rows));
}

async function profileSwitch(p) {
  const r = await api('/api/profiles/open', { file: p.file });
  if (r.status !== 200) { say(`Not opened: ${r.json.error || r.status}`); return; }
  await load(false);
  say(`Editing the profile ${r.json.path}.`);
}
async function profileOpen(p) {
  if (Object.keys(edits).length === 0) { await profileSwitch(p); return; }
  profileAsk(`${saved.path} has edits that are not saved. Open ${p.file} all the same?`, [
    ['profile-ask-save', 'Save them, then open', async () => { await save(false); if (Object.keys(edits).length === 0) await profileSwitch(p); }],
    ['profile-ask-drop', 'Drop them and open', () => profileSwitch(p)],
    ['profile-ask-cancel', 'Cancel', () => say('Still editing the same profile; the edits are kept.')]]);
}
function profileRename(p) {
  profileAsk(`New name for ${p.file}${p.folder ? ' (its folder is renamed)' : ''}:`, [
    ['profile-ask-rename', 'Rename', async () => {
      const to = $('profile-ask-name').value.trim();
      const kept = edits;
      const r = await api('/api/profiles/rename', { file: p.file, to });
      if (r.status !== 200) { say(`Not renamed: ${r.json.error || r.status}`); return; }
      if (r.json.opened) { await load(false); edits = kept; refresh(); }
      say(r.json.message); profilesLoad();
    }],
    ['profile-ask-cancel', 'Cancel', profileAskClose]], p.name);
}
function profileDelete(p) {
  profileAsk(`Delete ${p.file}? Its text is kept as ${p.file}.bak.`, [
    ['profile-ask-delete', 'Delete', async () => {
      const r = await api('/api/profiles/delete', { file: p.file });
      say(r.status === 200 ? r.json.message : `Not deleted: ${r.json.error || r.status}`); profilesLoad();
    }],
    ['profile-ask-cancel', 'Cancel', profileAskClose]]);
}
async function profileSaveNew() {
  const name = $('profile-name').value.trim();
  const r = await api('/api/profiles/new', { name, folder: $('profile-in-folder').checked, edits });
  if (r.status !== 200) { say(r.json.error || `Not saved: ${r.status}`); return; }
  $('profile-name').value = '';
  await load(false);
  say(r.json.message);
}

// Called by the page whenever it has read the file again (opened, saved).
function profilesLoaded() { profilesLoad(); }

window.addEventListener('DOMContentLoaded', () => {
  $('profile-save-new').addEventListener('click', profileSaveNew);
  // Sticks come and go: the list says again which are connected.
  // Files made, renamed or removed meanwhile by other programs show on return.
  window.addEventListener('focus', () => { if (profiles) profilesLoad(); });
  setInterval(() => { if (profiles && live.joysticks.map((j) => j.id).join(' ') !== profileSticks) profilesLoad(); }, 1000);
});
