// A positioning test run: offline, run on with a speed, start point N,
// cancel, online; the position and speed drawn against time while it runs.
import { get, post } from './api.js';
import { $, el, button, t, show, report, withEntry, state } from './app.js';

let chart = null;
let timer = null;
let started = 0;

function makeChart(canvas) {
  if (!window.Chart) return null;
  return new window.Chart(canvas, {
    type: 'line',
    data: { datasets: [
      { label: t('position'), data: [], borderColor: '#1d5fa8', yAxisID: 'y', pointRadius: 2 },
      { label: t('speed'), data: [], borderColor: '#c77700', yAxisID: 'y1', pointRadius: 2 },
    ] },
    options: {
      animation: false, responsive: true, maintainAspectRatio: false, parsing: false,
      scales: {
        x: { type: 'linear', title: { display: true, text: t('time') } },
        y: { type: 'linear', position: 'left', title: { display: true, text: t('position') } },
        y1: { type: 'linear', position: 'right', grid: { drawOnChartArea: false }, title: { display: true, text: t('speed') } },
      },
    },
  });
}

function entryQuery() { return state.entry ? `?entry=${state.entry}` : ''; }

// One status sample: a point on the chart and the figures beside it.
async function sample() {
  const s = await get(`/api/run/status${entryQuery()}`);
  if (s.code !== 0) { stopWatching(); report(s); return; }
  const x = (performance.now() - started) / 1000;
  const run = s.run;
  $('#run-figures').textContent = `${t('point')} ${run.point}  ${t('position')} ${run.position}  ${t('speed')} ${run.speed}  ` +
    `${t('toGo')} ${run.to_go}  ${t('state')}: ${t('states')[run.state] ?? run.state}`;
  if (chart) {
    chart.data.datasets[0].data.push({ x, y: run.position });
    chart.data.datasets[1].data.push({ x, y: run.speed });
    chart.update('none');
  }
  $('#run-samples').textContent = String(Number($('#run-samples').textContent) + 1);
  if (run.state >= 2 && x > 1) stopWatching();
}

function watch() {
  stopWatching();
  started = performance.now();
  if (chart) chart.data.datasets.forEach((d) => { d.data = []; });
  $('#run-samples').textContent = '0';
  $('#run-watch').textContent = t('watching');
  timer = setInterval(sample, 200);
}

function stopWatching() {
  if (timer) clearInterval(timer);
  timer = null;
  const w = $('#run-watch');
  if (w) w.textContent = '';
}

export async function runPage(root) {
  stopWatching();
  const speed = el('input', { class: 'cell', id: 'run-speed', value: '0' });
  const point = el('input', { class: 'cell', id: 'run-point', value: '1' });
  const canvas = el('canvas', { id: 'run-chart' });
  root.append(
    el('div', { class: 'toolbar' },
      button('offline', async () => report(await post('/api/online', withEntry({ online: false })), 'offline'), 'run-offline'),
      el('label', {}, `${t('speed')} `, speed),
      button('runOn', async () => report(await post('/api/run/on', withEntry({ on: true, speed: speed.value })), 'runOn'), 'run-on'),
      button('runOff', async () => report(await post('/api/run/on', withEntry({ on: false })), 'runOff'), 'run-off'),
      el('label', {}, `${t('point')} `, point),
      button('start', async () => { if (report(await post('/api/run/start', withEntry({ point: point.value })), 'start')) watch(); }, 'run-start'),
      button('cancelRun', async () => report(await post('/api/run/cancel', withEntry()), 'cancelRun'), 'run-cancel'),
      button('online', async () => report(await post('/api/online', withEntry({ online: true })), 'online'), 'run-online')),
    el('p', { class: 'info' }, el('span', { id: 'run-figures' }), ' ', el('span', { id: 'run-watch' }),
      ' · samples: ', el('span', { id: 'run-samples' }, '0')),
    el('div', { class: 'chart-box' }, canvas));
  // The canvas needs its box in the document before the chart measures it.
  requestAnimationFrame(() => { chart = makeChart(canvas); if (!chart) show('chart.min.js missing'); });
}
