// The page of iecx ui. It shows what the server sends and sends every user action back as a
// request; the model logic stays on the server, so the page holds no copy of it.
'use strict';

const token = new URLSearchParams(location.search).get('token') || '';
const $ = (sel) => document.querySelector(sel);
const el = (tag, attrs = {}, ...children) => {
  const e = document.createElement(tag);
  for (const [k, v] of Object.entries(attrs)) {
    if (k === 'class') e.className = v;
    else if (k.startsWith('on')) e.addEventListener(k.slice(2), v);
    else if (v !== undefined && v !== null) e.setAttribute(k, v);
  }
  for (const c of children) if (c !== null && c !== undefined) e.append(c);
  return e;
};

async function api(method, path, body, raw) {
  const headers = { 'X-Iecx-Token': token };
  if (body !== undefined && !raw) headers['Content-Type'] = 'application/json';
  const res = await fetch(path, { method, headers, body: raw ? body : (body === undefined ? undefined : JSON.stringify(body)) });
  const data = await res.json().catch(() => ({}));
  if (!res.ok) {
    showError(data.error || ('HTTP ' + res.status));
    throw new Error(data.error || res.status);
  }
  showError('');
  return data;
}

// For user actions: the error is shown on the page, nothing more to do.
const act = (...args) => api(...args).catch(() => {});

function showError(text) {
  const box = $('#error');
  box.textContent = text;
  box.hidden = !text;
}

// ---- views ----
document.querySelectorAll('nav button').forEach((b) => b.addEventListener('click', () => {
  document.querySelectorAll('nav button').forEach((x) => x.classList.toggle('active', x === b));
  document.querySelectorAll('.view').forEach((v) => { v.hidden = v.id !== 'view-' + b.dataset.view; });
  document.body.dataset.view = b.dataset.view;
}));

// ---- model ----
let model = null;
let filter = null;

function unitRow(unit, section, path) {
  let control;
  if (unit.kind === 'enum') {
    control = el('select', { id: 'unit-' + unit.id, 'data-unit': unit.id,
      onchange: (e) => act('POST', '/api/unit', { section, path, value: e.target.value }) });
    if (!unit.items.some((i) => i.key === unit.value)) control.append(el('option', { value: '' }, '—'));
    for (const item of unit.items) {
      const o = el('option', { value: item.key }, item.label || item.key);
      if (item.key === unit.value) o.selected = true;
      control.append(o);
    }
  } else {
    control = el('span', { class: 'ro', id: 'unit-' + unit.id, 'data-unit': unit.id }, unit.value || '');
  }
  return el('div', { class: 'row' }, el('label', {}, unit.name || unit.id), control);
}

function renderFileSource(box) {
  const input = el('input', { type: 'file', id: 'scl-file', accept: '.scd,.cid,.icd,.xml,.iid,.ssd' });
  input.addEventListener('change', async () => {
    const f = input.files[0];
    if (!f) return;
    await act('POST', '/api/upload?name=' + encodeURIComponent(f.name), await f.arrayBuffer(), true);
  });
  box.append(el('div', { class: 'row' }, el('label', {}, 'Файл SCL'), input));
  if (filter) {
    const types = el('div', { id: 'type-filter' });
    for (const t of filter.all) {
      const cb = el('input', { type: 'checkbox', value: t });
      cb.checked = filter.selected.includes(t);
      cb.addEventListener('change', async () => {
        const selected = [...types.querySelectorAll('input:checked')].map((x) => x.value);
        filter.selected = selected; // a redraw meanwhile keeps the user's marks
        await act('POST', '/api/filter', { types: selected });
      });
      types.append(el('label', {}, cb, t, ' '));
    }
    box.append(el('h3', {}, 'Типы MMS'), types);
  }
}

function renderDeviceSource(box, device) {
  const address = el('input', { id: 'ied-address', value: device.address || '127.0.0.1' });
  const port = el('input', { id: 'ied-port', value: device.port || 102, size: 6 });
  const button = el('button', { id: 'ied-connect', onclick: () => act('POST', '/api/device/connect',
    { address: address.value, port: parseInt(port.value, 10) }) }, 'Подключиться');
  box.append(el('div', { class: 'row' }, el('label', {}, 'Адрес IED'), el('span', {}, address, ' : ', port, ' ', button)));
}

function renderNode(node, section, path, box) {
  node.children.forEach((child, index) => {
    const childPath = path.concat([index]);
    if (child.kind !== 'node') { box.append(unitRow(child, section, childPath)); return; }
    const role = model.roles && model.roles[JSON.stringify(childPath)];
    if (role && role !== model.source) return;
    const sub = el('div', { class: 'source', 'data-role': role || '' });
    if (role === 'file') renderFileSource(sub);
    if (role === 'device') renderDeviceSource(sub, model.device || {});
    renderNode(child, section, childPath, sub);
    box.append(sub);
  });
}

function renderSettings() {
  const box = $('#settings');
  const scroll = box.scrollTop;
  box.replaceChildren();
  const top = el('div', { class: 'source' });
  renderNode(model.settings, 'settings', [], top);
  box.append(top);
  box.scrollTop = scroll;
  const params = $('#params');
  params.replaceChildren();
  model.params.children.forEach((unit, index) => params.append(unitRow(unit, 'params', [index])));
}

const expanded = new Set();
function renderTree() {
  const box = $('#tree');
  box.replaceChildren(treeList(model.tree.children, [], 0));
  $('#checked').textContent = model.checked ? '(отмечено: ' + model.checked + ')' : '';
}

function treeList(nodes, ids, depth) {
  const ul = el('ul');
  for (const n of nodes) {
    const nodeIds = ids.concat([n.id]);
    const key = JSON.stringify(nodeIds);
    const open = depth < 2 ? !expanded.has('-' + key) : expanded.has(key);
    const cb = el('input', { type: 'checkbox', 'data-path': nodeIds.join('/') });
    cb.checked = n.state === true;
    cb.indeterminate = n.state === null;
    cb.addEventListener('change', (e) => {
      e.preventDefault();
      act('POST', '/api/check', { ids: nodeIds, checked: n.state !== true });
    });
    const toggle = el('span', { class: 'toggle' }, n.children.length ? (open ? '▾' : '▸') : '');
    toggle.addEventListener('click', () => {
      if (depth < 2) { if (open) expanded.add('-' + key); else expanded.delete('-' + key); }
      else if (open) expanded.delete(key); else expanded.add(key);
      renderTree();
    });
    const li = el('li', { 'data-state': String(n.state) }, toggle, el('label', {}, cb, ' ', n.name),
      n.unit ? el('span', { class: 'unit' }, n.unit) : null);
    if (n.children.length && open) li.append(treeList(n.children, nodeIds, depth + 1));
    ul.append(li);
  }
  return ul;
}

// ---- status ----
function renderStatus(s) {
  const running = s.acquisition.running;
  $('#acq-state').textContent = running ? 'идёт приём' + (s.acquisition.protocol ? ' (' + s.acquisition.protocol + ')' : '') : 'остановлено';
  $('#acq-state').dataset.running = running;
  const err = $('#acq-error');
  err.textContent = s.acquisition.error || '';
  err.hidden = !s.acquisition.error;
  const sel = $('#cap-if');
  const current = sel.value;
  sel.replaceChildren(...s.interfaces.map((i) => el('option', { value: i }, i)));
  sel.value = current || (s.interfaces.includes('lo') ? 'lo' : s.interfaces[0]);
  const acqIf = $('#acq-if');
  const acqCurrent = acqIf.value;
  acqIf.replaceChildren(el('option', { value: '' }, 'все'), ...s.interfaces.map((i) => el('option', { value: i }, i)));
  acqIf.value = acqCurrent;
  const c = s.capture;
  const state = $('#cap-state');
  state.replaceChildren(c.running ? 'идёт захват на ' + c.interface : 'остановлен');
  if (!c.running && c.download) {
    state.append(' ', el('a', { id: 'cap-download', href: '/api/download/' + c.download + '?token=' + token }, 'скачать PCAP'));
  }
}

// ---- values ----
const rows = new Map();   // path -> {tr, points, last}
const kPoints = 300;
function resetValues() { rows.clear(); $('#values tbody').replaceChildren(); $('#timeline').replaceChildren(); }

function formatTime(ms) {
  if (!ms) return '';
  const d = new Date(ms);
  return d.toISOString().replace('T', ' ').replace('Z', '');
}

function rowFor(path) {
  let r = rows.get(path);
  if (r) return r;
  const tr = el('tr', { 'data-path': path }, el('td', {}, path), el('td', { class: 'v' }), el('td', { class: 't' }),
    el('td', { class: 'q' }), el('td', { class: 'n' }), el('td', {}, el('canvas', { class: 'plot', width: 240, height: 40 })));
  $('#values tbody').append(tr);
  r = { tr, points: [], last: undefined };
  rows.set(path, r);
  return r;
}

function onValues(msg) {
  if (msg.all) resetValues();
  $('#messages').textContent = msg.messages;
  $('#goose-numbers').hidden = msg.stNum === undefined;
  if (msg.stNum !== undefined) {
    if ($('#stnum').textContent !== '' && $('#stnum').textContent !== String(msg.stNum)) {
      addTimeline(formatTime(Date.now()) + '  stNum ' + $('#stnum').textContent + ' → ' + msg.stNum);
    }
    $('#stnum').textContent = msg.stNum;
    $('#sqnum').textContent = msg.sqNum;
  }
  $('#errors').textContent = msg.errors;
  const now = Date.now();
  for (const v of msg.values) {
    const r = rowFor(v.path);
    const cells = r.tr.children;
    cells[1].textContent = v.text;
    cells[2].textContent = formatTime(v.t);
    cells[3].textContent = v.q;
    cells[3].className = 'q ' + (v.q ? (v.q.startsWith('good') ? 'q-good' : 'q-bad') : '');
    cells[4].textContent = v.n;
    if (v.n > 0 && r.last !== undefined && r.last !== v.text) {
      addTimeline(formatTime(v.t) + '  ' + v.path + ': ' + r.last + ' → ' + v.text);
    }
    if (v.n > 0) r.last = v.text;
    if (v.number !== null && v.number !== undefined) {
      r.points.push([now, v.number]);
      if (r.points.length > kPoints) r.points.shift();
      plot(cells[5].firstChild, r.points);
    }
  }
}

function addTimeline(text) {
  const tl = $('#timeline');
  tl.prepend(el('li', {}, text));
  while (tl.children.length > 200) tl.lastChild.remove();
}

function onSv(msg) {
  $('#sv-card').hidden = msg.asdus === 0;
  $('#sv-id').textContent = msg.svId;
  $('#sv-rate').textContent = Math.round(msg.rate);
  $('#sv-smprate').textContent = msg.smpRate;
  $('#sv-smpcnt').textContent = msg.smpCnt;
  $('#sv-gaps').textContent = msg.gaps;
  $('#sv-asdus').textContent = msg.asdus;
  const box = $('#sv-waves');
  while (box.children.length < msg.channels.length) {
    box.append(el('div', {}, el('small', {}, 'канал ' + (box.children.length + 1)), el('canvas', { class: 'wave', width: 480, height: 120 })));
  }
  msg.channels.forEach((samples, i) => plot(box.children[i].querySelector('canvas'), samples.map((y, x) => [x, y])));
}

function plot(canvas, points) {
  const ctx = canvas.getContext('2d');
  const w = canvas.width, h = canvas.height;
  ctx.clearRect(0, 0, w, h);
  if (points.length < 1) return;
  let lo = Infinity, hi = -Infinity;
  for (const [, y] of points) { lo = Math.min(lo, y); hi = Math.max(hi, y); }
  if (hi === lo) { hi += 1; lo -= 1; }
  const t0 = points[0][0], t1 = Math.max(points[points.length - 1][0], t0 + 1);
  ctx.strokeStyle = '#2563eb';
  ctx.beginPath();
  points.forEach(([t, y], i) => {
    const x = ((t - t0) / (t1 - t0)) * (w - 2) + 1;
    const yy = h - 2 - ((y - lo) / (hi - lo)) * (h - 4);
    if (i === 0) ctx.moveTo(x, yy); else ctx.lineTo(x, yy);
  });
  ctx.stroke();
}

// ---- actions ----
$('#acq-start').addEventListener('click', () => act('POST', '/api/acquisition/start', { interface: $('#acq-if').value }));
$('#acq-stop').addEventListener('click', () => act('POST', '/api/acquisition/stop', {}));
$('#cap-start').addEventListener('click', () => act('POST', '/api/capture/start', { interface: $('#cap-if').value, kind: $('#cap-kind').value }));
$('#cap-stop').addEventListener('click', () => act('POST', '/api/capture/stop', {}));

function cidForm(id, path, convert) {
  const form = $(id);
  form.addEventListener('submit', async (e) => {
    e.preventDefault();
    const data = Object.fromEntries(new FormData(form).entries());
    const out = await api('POST', path, convert(data)).catch(() => null);
    if (!out) return;
    form.querySelector('.result').replaceChildren(el('a', { class: 'download', href: '/api/download/' + out.download + '?token=' + token }, 'скачать ' + out.name));
  });
}
cidForm('#cid-goose', '/api/cid/goose', (d) => d);
cidForm('#cid-sv', '/api/cid/sv', (d) => ({ ...d, channels: d.channels.split('\n').map((s) => s.trim()).filter(Boolean) }));

// ---- events ----
function connect() {
  const source = new EventSource('/api/events?token=' + encodeURIComponent(token));
  source.addEventListener('open', () => { $('#link').textContent = 'на связи'; $('#link').className = 'link on'; });
  source.addEventListener('error', () => { $('#link').textContent = 'нет связи'; $('#link').className = 'link off'; });
  source.addEventListener('model', (e) => {
    model = JSON.parse(e.data);
    renderSettings();
    renderTree();
    document.body.dataset.modelVersion = (parseInt(document.body.dataset.modelVersion || '0', 10) + 1).toString();
  });
  source.addEventListener('status', (e) => renderStatus(JSON.parse(e.data)));
  source.addEventListener('values', (e) => onValues(JSON.parse(e.data)));
  source.addEventListener('sv', (e) => onSv(JSON.parse(e.data)));
}

api('GET', '/api/filter').then((f) => { filter = f; if (model) renderSettings(); }).catch(() => {});
connect();
