// The positioning table (99 points) and the VV table (15 points): one
// editor, each row sent whole when one of its cells changes.
import { get, post } from './api.js';
import { el, button, t, show, report, route, withEntry, download, chooseFile } from './app.js';

const KINDS = {
  pos: { ext: '.k7l', model: 'LIN', fields: ['cmd_mode', 'step_mode', 'stop_pos', 'speed', 'stop_timer', 'm_code', 'm_valid', 'm_timing'] },
  vv: { ext: '.m7v', model: 'VEL', fields: ['cmd_mode', 'step_mode', 'stop_pos', 'speed', 'accel', 'decel', 'stop_timer', 'm_code', 'm_valid', 'm_timing'] },
};
const HEADS = { cmd_mode: 'cmd', step_mode: 'step', stop_pos: 'stopPos', speed: 'speed', accel: 'accel', decel: 'decel',
  stop_timer: 'timer', m_code: 'mCode', m_valid: 'mValid', m_timing: 'mTiming' };

const diffs = { pos: new Set(), vv: new Set() };

export async function tablePage(root, kind) {
  const k = KINDS[kind];
  const base = `/api/${kind}`;
  const r = await get(base);
  const set = r.set;
  root.append(el('div', { class: 'toolbar' },
    button('read', async () => { diffs[kind] = new Set(); if (report(await post(`${base}/read`, withEntry()), 'read')) route(); }, `${kind}-read`),
    button('writeChanged', async () => { if (report(await post(`${base}/write`, withEntry({ all: false })), 'writeChanged')) route(); }, `${kind}-write`),
    button('writeAll', async () => { if (report(await post(`${base}/write`, withEntry({ all: true })), 'writeAll')) route(); }, `${kind}-write-all`),
    button('compare', async () => {
      const x = await post(`${base}/compare`, withEntry());
      if (!report(x)) return;
      diffs[kind] = new Set(x.differences.map((d) => d.no));
      show(x.differences.length ? t('diffs', x.differences.length) : t('noDiff'), x.differences.length === 0);
      document.querySelectorAll(`#${kind}-table tr[data-no]`).forEach((row) =>
        row.classList.toggle('differs', diffs[kind].has(Number(row.dataset.no))));
    }, `${kind}-compare`),
    button('create', async () => { if (report(await post(`${base}/create`, { model: k.model }), 'create')) route(); }, `${kind}-create`),
    button('open', () => chooseFile(k.ext, `${base}/open`, () => route()), `${kind}-open`),
    button('save', () => download(`${base}/save`), `${kind}-save`),
    button('csv', () => download(`${base}/csv`), `${kind}-csv`),
    button('listing', async () => {
      const x = await get(`${base}/listing`);
      if (report(x)) root.append(el('pre', { class: 'listing' }, x.lines.join('\n')));
    }, `${kind}-listing`)));
  if (!set) {
    root.append(el('p', { class: 'info' }, t('noSet')));
    return;
  }
  root.append(el('p', { class: 'info' }, `${set.name} — ${set.amp} ${set.read_date}`));
  const head = el('tr', {}, el('th', {}, t('no')), ...k.fields.map((f) => el('th', {}, t(HEADS[f]))), el('th', {}, t('changed')));
  const rows = set.points.map((p) => {
    const inputs = k.fields.map((f) => el('input', { class: 'cell', value: p[f], 'data-field': f, id: `${kind}-${p.no}-${f}` }));
    const row = el('tr', { class: `${p.changed ? 'changed' : ''} ${diffs[kind].has(p.no) ? 'differs' : ''}`, 'data-no': p.no },
      el('td', { class: 'num' }, p.no), ...inputs.map((i) => el('td', {}, i)), el('td', {}, p.changed ? '*' : ''));
    for (const input of inputs) {
      input.addEventListener('keydown', (e) => { if (e.key === 'Enter') input.blur(); });
      input.addEventListener('change', async () => {
        const values = Object.fromEntries(inputs.map((i) => [i.dataset.field, i.value]));
        const x = await post(`${base}/point`, { no: p.no, values });
        if (report(x)) route();
        else input.classList.add('invalid');
      });
    }
    return row;
  });
  root.append(el('table', { id: `${kind}-table` }, head, ...rows));
}
