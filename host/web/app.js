// The single-page front end of tav serve: pages for the line, the extended
// parameters, the positioning and VV tables and a test run with its chart.
// Every action is one API call; the checks that matter run in the server
// (the same as the terminal's); the ones here only warn while typing.
import { get, post, upload, events } from './api.js';
import { say } from './texts.js';
import { tablePage } from './tables.js';
import { runPage } from './run.js';
import { backupPage } from './backup.js';

export const state = { lang: 'en', entry: '', page: 'line', readOnly: false, running: '' };
export const t = (key, ...args) => say(state.lang, key, ...args);
export const $ = (sel, root = document) => root.querySelector(sel);

export function el(tag, attrs = {}, ...children) {
  const node = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'class') node.className = v;
    else if (k.startsWith('on')) node.addEventListener(k.slice(2), v);
    else if (v !== undefined && v !== null && v !== false) node.setAttribute(k, v === true ? '' : v);
  }
  for (const c of children.flat()) if (c !== null && c !== undefined) node.append(c instanceof Node ? c : String(c));
  return node;
}

export function button(key, onclick, id) {
  return el('button', { id, onclick }, t(key));
}

export function show(text, ok) {
  const m = $('#message');
  m.textContent = text ?? '';
  m.className = ok ? 'ok' : text ? 'error' : '';
}

// An API answer: its message shown; true when it succeeded.
export function report(r, doneKey) {
  busy('');
  if (r.code === 0) {
    show(doneKey ? t('done', t(doneKey)) : '', true);
    return true;
  }
  show(r.message ?? `${r.code}`);
  if (r.httpStatus === 409 && r.code === -18) refreshSession();
  return false;
}

// The target entry of device actions ("" : the selected one).
export const withEntry = (body = {}) => (state.entry ? { ...body, entry: Number(state.entry) } : body);

export function download(path) {
  const a = el('a', { href: path, download: '' });
  document.body.append(a);
  a.click();
  a.remove();
}

// A file chosen by the user, sent as is to `path?name=...`.
export function chooseFile(accept, path, done) {
  const input = el('input', { type: 'file', accept, id: 'file-input' });
  input.style.display = 'none';
  input.addEventListener('change', async () => {
    const f = input.files[0];
    input.remove();
    if (!f) return;
    const r = await upload(`${path}?name=${encodeURIComponent(f.name)}`, await f.arrayBuffer());
    if (report(r, 'open')) done(r);
  });
  document.body.append(input);
  input.click();
}

async function refreshSession() {
  const s = await get('/api/session');
  state.readOnly = s.read_only;
  $('#readonly').hidden = !s.read_only;
  // Another browser drives the line: this one looks only.
  document.querySelectorAll('#page .toolbar:not(.tabs) button, #page td button, #page input').forEach((n) => { n.disabled = s.read_only; });
}

// ---- the line page
async function linePage(root) {
  const r = await get('/api/line');
  if (!report(r)) return;
  const info = el('div', { class: 'info' },
    `${t('device')}: ${r.device} — ${t('locks')}: ${r.locks.code === 0 ? t('free') : r.locks.message}`);
  const details = el('div', { id: 'identity' });
  const rows = r.entries.map((e) => el('tr', { class: e.selected ? 'changed' : '', 'data-entry': e.entry },
    el('td', { class: 'num' }, e.entry), el('td', { class: 'num' }, e.station), el('td', {}, e.answered ? '✓' : '-'),
    el('td', {}, e.name), el('td', {}, e.selected ? t('selected') : ''),
    el('td', {},
      button('select', async () => { if (report(await post('/api/select', { entry: e.entry }), 'select')) route(); }),
      ' ',
      button('identify', async () => {
        const x = await post('/api/identify', { entry: e.entry });
        if (!report(x, 'identify')) return;
        const d = x.target;
        details.replaceChildren(el('table', {}, ...[['entry', d.entry], ['station', d.station], ['family', d.family_name],
          ['model', d.model], ['capacity', d.capacity], ['motor', d.motor], ['encoder', d.encoder]]
          .map(([k, v]) => el('tr', {}, el('th', {}, t(k)), el('td', {}, v)))));
      }))));
  root.append(info,
    el('div', { class: 'toolbar' },
      button('online', async () => report(await post('/api/online', withEntry({ online: true })), 'online'), 'online'),
      button('offline', async () => report(await post('/api/online', withEntry({ online: false })), 'offline'), 'offline')),
    el('table', { id: 'stations' },
      el('tr', {}, ...['entry', 'station', 'answered', 'name', 'selected', ''].map((k) => el('th', {}, k ? t(k) : ''))),
      ...rows),
    details);
  fillEntries(r.entries);
}

function fillEntries(entries) {
  const sel = $('#entry');
  const keep = state.entry;
  sel.replaceChildren(el('option', { value: '' }, t('selected')),
    ...entries.map((e) => el('option', { value: e.entry }, `${e.entry}: ${e.name}`)));
  sel.value = keep;
}

// ---- the extended and the standard parameters
function checkTyped(p, text) {
  const v = Number(text);
  if (text.trim() === '' || !/^[-+]?\d*\.?\d*$/.test(text.trim()) || Number.isNaN(v)) return t('notNumber');
  const compared = p.symmetric ? Math.abs(v) : v;
  if (compared < p.min || compared > p.max) return t('outOfRange', p.min, p.max);
  const places = (text.split('.')[1] ?? '').replace(/0+$/, '').length;
  if (places > p.places) return t('tooManyPlaces', p.places);
  return '';
}

const shownPage = { ext: 1, para: 1 };
const paramDiffs = { ext: new Set(), para: new Set() };

async function paramsView(root, kind) {
  const base = `/api/${kind}`;
  const r = await get(base);
  const set = r.set;
  const bar = el('div', { class: 'toolbar' },
    button('read', async () => { paramDiffs[kind] = new Set(); if (report(await post(`${base}/read`, withEntry()), 'read')) route(); }, `${kind}-read`),
    button('writeChanged', async () => { if (report(await post(`${base}/write`, withEntry({ all: false })), 'writeChanged')) route(); }, `${kind}-write`),
    button('writeAll', async () => { if (report(await post(`${base}/write`, withEntry({ all: true })), 'writeAll')) route(); }, `${kind}-write-all`),
    button('compare', async () => {
      const x = await post(`${base}/compare`, withEntry());
      if (!report(x)) return;
      paramDiffs[kind] = new Set(x.differences.map((d) => d.no));
      show(x.differences.length ? t('diffs', x.differences.length) : t('noDiff'), x.differences.length === 0);
      markDiffs(kind);
    }, `${kind}-compare`),
    el('select', { id: `${kind}-model` }, ...['LIN', 'VEL', 'ROR', 'ETC', 'LIN_KB', 'VEL_KB'].map((m) => el('option', {}, m))),
    button('create', async () => { if (report(await post(`${base}/create`, { model: $(`#${kind}-model`).value }), 'create')) route(); }, `${kind}-create`),
    button('open', () => chooseFile('.k7p,.syp,.hsp', `${base}/open`, () => route()), `${kind}-open`),
    button('save', () => download(`${base}/save`), `${kind}-save`),
    button('csv', () => download(`${base}/csv`), `${kind}-csv`),
    kind === 'ext' ? button('listing', async () => {
      const x = await get('/api/ext/listing');
      if (report(x)) root.append(el('pre', { class: 'listing' }, x.lines.join('\n')));
    }, 'ext-listing') : null);
  root.append(bar);
  if (!set) {
    root.append(el('p', { class: 'info' }, t('noSet')));
    return;
  }
  root.append(el('p', { class: 'info', id: `${kind}-info` }, `${set.name} — ${set.amp} ${set.read_date}`));
  const pages = [...new Set(set.parameters.map((p) => p.page))];
  if (!pages.includes(shownPage[kind])) shownPage[kind] = pages[0] ?? 1;
  if (pages.length > 1) {
    root.append(el('div', { class: 'toolbar tabs' }, ...pages.map((n) =>
      el('button', { class: n === shownPage[kind] ? 'active' : '', id: `${kind}-page-${n}`, onclick: () => { shownPage[kind] = n; route(); } }, `${t('page')} ${n}`))));
  }
  const head = el('tr', {}, ...['no', 'code', 'name', 'value', 'unit', 'range', 'initial', 'changed'].map((k) => el('th', {}, t(k))));
  const rows = set.parameters.filter((p) => p.page === shownPage[kind]).map((p) => {
    const input = el('input', { class: 'value', value: p.value, 'data-no': p.no, id: `${kind}-value-${p.no}` });
    input.addEventListener('input', () => {
      const why = checkTyped(p, input.value);
      input.classList.toggle('invalid', why !== '');
      input.title = why;
      if (why) show(`${p.no} ${p.name}: ${input.value} — ${why}`); else show('');
    });
    input.addEventListener('keydown', (e) => { if (e.key === 'Enter') input.blur(); });
    input.addEventListener('change', async () => {
      if (input.value === p.value) return;
      const x = await post(`${base}/change`, { changes: [{ no: p.no, value: input.value }] });
      if (report(x)) route();
      else input.classList.add('invalid');
    });
    return el('tr', { class: p.changed ? 'changed' : '', 'data-no': p.no, id: `${kind}-row-${p.no}` },
      el('td', { class: 'num' }, p.no), el('td', {}, p.panel), el('td', {}, p.name), el('td', {}, input),
      el('td', {}, p.unit), el('td', {}, p.range), el('td', { class: 'num' }, p.initial), el('td', {}, p.changed ? '*' : ''));
  });
  root.append(el('table', { id: `${kind}-table` }, head, ...rows));
  markDiffs(kind);
}

function markDiffs(kind) {
  document.querySelectorAll(`#${kind}-table tr[data-no]`).forEach((row) =>
    row.classList.toggle('differs', paramDiffs[kind].has(Number(row.dataset.no))));
}

// ---- pages and the frame around them
const PAGES = {
  line: linePage,
  ext: (root) => paramsView(root, 'ext'),
  para: (root) => paramsView(root, 'para'),
  pos: (root) => tablePage(root, 'pos'),
  vv: (root) => tablePage(root, 'vv'),
  run: runPage,
  backup: backupPage,
};

// Each navigation renders off-screen; only the latest one is shown, so a
// slow earlier page (a re-render after an operation) cannot cover a newer one.
let routeSerial = 0;

export async function route() {
  const serial = ++routeSerial;
  state.page = (location.hash || '#line').slice(1);
  if (!PAGES[state.page]) state.page = 'line';
  document.querySelectorAll('#nav a').forEach((a) => a.classList.toggle('active', a.dataset.page === state.page));
  const root = $('#page');
  const fresh = el('div', { id: `page-${state.page}` });
  await PAGES[state.page](fresh);
  if (serial !== routeSerial) return;
  root.replaceChildren(fresh);
  await refreshSession();
}

function translate() {
  document.documentElement.lang = state.lang;
  document.querySelectorAll('[data-t]').forEach((n) => { n.textContent = t(n.dataset.t); });
}

function busy(op) {
  state.running = op ?? '';
  $('#busy').hidden = !op;
  $('#busy-op').textContent = op ?? '';
  if (op) setProgress(0);
}

function setProgress(percent) {
  $('#progress').value = percent;
  $('#percent').textContent = `${percent} %`;
}

async function start() {
  const s = await get('/api/session');
  state.lang = s.lang;
  $('#lang').value = state.lang;
  translate();
  $('#lang').addEventListener('change', async () => {
    state.lang = $('#lang').value;
    await post('/api/lang', { lang: state.lang });
    translate();
    route();
  });
  $('#entry').addEventListener('change', () => { state.entry = $('#entry').value; });
  $('#cancel').addEventListener('click', () => post('/api/cancel'));
  events({
    start: (e) => busy(e.op),
    progress: (e) => setProgress(e.percent),
    end: () => busy(''),
  });
  window.addEventListener('hashchange', route);
  const line = await get('/api/line');
  if (line.entries) fillEntries(line.entries);
  await route();
}

start();
