// Whole-line backup and restore, in a folder of the machine tav serve runs on
// (a relative name is taken from the folder the server was started in).
import { post } from './api.js';
import { el, button, t, show, report, withEntry } from './app.js';

function filesTable(files) {
  return el('table', { id: 'backup-files' },
    el('tr', {}, ...['file', 'entry', 'station', 'kind', 'readDate'].map((k) => el('th', {}, t(k)))),
    ...files.map((f) => el('tr', {}, el('td', {}, f.file), el('td', { class: 'num' }, f.entry), el('td', { class: 'num' }, f.station),
      el('td', {}, f.set ?? ''), el('td', {}, f.read_date ?? ''))));
}

function planTable(sets) {
  const rows = [];
  for (const s of sets) {
    rows.push(el('tr', {}, el('th', { colspan: 4 },
      `${s.file} — ${t('written')} ${s.written}, ${t('verified')} ${s.verified}${s.result.code ? ` — ${s.result.message}` : ''}`)));
    for (const d of s.plan) rows.push(el('tr', { class: 'differs' }, el('td', { class: 'num' }, d.no), el('td', {}, d.name),
      el('td', {}, d.line), el('td', {}, d.backup)));
  }
  return el('table', { id: 'restore-plan' },
    el('tr', {}, ...['no', 'name', 'amplifier', 'backup'].map((k) => el('th', {}, t(k)))), ...rows);
}

export async function backupPage(root) {
  const dir = el('input', { id: 'backup-dir', value: 'backup', size: 40 });
  const out = el('div', { id: 'backup-result' });
  const restore = async (dryRun) => {
    const x = await post('/api/restore', withEntry({ dir: dir.value, dry_run: dryRun }));
    out.replaceChildren();
    if (x.mismatches?.length)
      out.append(el('table', { id: 'restore-mismatches' }, ...x.mismatches.map((m) =>
        el('tr', { class: 'differs' }, el('td', {}, m.entry), el('td', {}, m.station), el('td', {}, m.field), el('td', {}, m.backup), el('td', {}, m.line)))));
    if (x.sets) out.append(planTable(x.sets));
    report(x, dryRun ? 'plan' : 'restore');
  };
  root.append(
    el('div', { class: 'toolbar' },
      el('label', {}, `${t('folder')} `, dir),
      button('backup', async () => {
        const x = await post('/api/backup', withEntry({ dir: dir.value }));
        out.replaceChildren();
        if (x.manifest?.files) out.append(filesTable(x.manifest.files));
        if (report(x, 'backup')) show(t('backupDone', x.manifest.files.length, x.dir), true);
      }, 'backup-run'),
      button('plan', () => restore(true), 'restore-plan-run'),
      button('restore', () => restore(false), 'restore-run')),
    out);
}
