// Applying the file: zq-setup starts the player's panel on it, or closes the
// running one as its window's close would and starts it again. The panel
// reads its file only when it starts; the page says which one it reads.
'use strict';

async function panelStatus() {
  const r = await api('/api/panel');
  $('panel-status').textContent = r.status === 200 ? r.json.text : (r.json.error || 'Whether the panel runs could not be asked.');
}

async function panelAction(path) {
  for (const id of ['panel-start', 'panel-restart']) $(id).disabled = true;
  try {
    const r = await api(path, {});
    say(r.status === 200 ? r.json.message : `Not started: ${r.json.error || r.status}`);
  } finally {
    for (const id of ['panel-start', 'panel-restart']) $(id).disabled = false;
    await panelStatus();
    // A panel just started takes its instance name a moment later.
    setTimeout(panelStatus, 1500);
  }
}

window.addEventListener('DOMContentLoaded', () => {
  $('panel-start').addEventListener('click', () => panelAction('/api/panel/start'));
  $('panel-restart').addEventListener('click', async () => {
    // Edits (or a file not yet written) are saved first, a conflict asked
    // about as Save asks; nothing restarts on a file that was not saved.
    if ((Object.keys(edits).length || (saved && !saved.exists)) && !(await save(false))) return;
    await panelAction('/api/panel/restart');
  });
  panelStatus();
  window.addEventListener('focus', panelStatus);
});
