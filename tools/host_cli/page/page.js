// The banner locker page of tav-host serve: shows what the plugin's routes answer, equips a flag
// on a click, drives the host's configuration and peer failures, and redraws on every event.
'use strict';

const paths = {
  flags: '/tav-banners/v1/current-sondar/flags',
  equipped: '/tav-banners/v1/current-sondar/flags/equipped',
  frame: '/tav-banners/v1/current-sondar/frames/equipped',
  equipSwitch: '/tav-platform-config/v1/namespaces/Banners/IsEquipEnabled',
  season: '/tav-platform-config/v1/namespaces/ClientSystemStates/currentSeason',
  failures: '/tav-host/v1/failures/',
  events: '/events',
};
const peers = ['inventory', 'profileRead', 'profileWrite', 'loadouts', 'configuration', 'telemetry'];
// Events after which what the page shows may have changed: the plugin's own announcement of an
// equip, and tav-host's of a change made through it (configuration, failures, profile, ...).
const redrawEvents = ['OnJsonApiEvent', 'TavHostChange'];
const svgNs = 'http://www.w3.org/2000/svg';

const $ = (id) => document.getElementById(id);

// One request; the answer's value, or its error as "<status> <message>" from the answer itself.
async function call(method, path, body) {
  const init = { method, cache: 'no-store', headers: {} };
  if (body !== undefined) {
    init.headers['Content-Type'] = 'application/json';
    init.body = JSON.stringify(body);
  }
  let response;
  try {
    response = await fetch(path, init);
  } catch (failure) {
    return { ok: false, status: 0, error: 'tav-host did not answer: ' + failure.message };
  }
  const text = await response.text();
  let value = null;
  try {
    value = text ? JSON.parse(text) : null;
  } catch (ignored) {
    value = text;
  }
  if (!response.ok) {
    const message = value && typeof value === 'object' && 'message' in value
      ? value.message : (text || response.statusText);
    return { ok: false, status: response.status, error: response.status + ' ' + message };
  }
  return { ok: true, status: response.status, value };
}

function element(tag, attributes = {}, children = []) {
  const made = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) {
    if (name === 'text') made.textContent = value;
    else made.setAttribute(name, value);
  }
  for (const child of children) made.append(child);
  return made;
}

function svg(tag, attributes = {}, text) {
  const made = document.createElementNS(svgNs, tag);
  for (const [name, value] of Object.entries(attributes)) made.setAttribute(name, value);
  if (text !== undefined) made.textContent = text;
  return made;
}

// A hue that stays the same for a theme name everywhere (FNV-1a; its high bits mix best).
function themeHue(theme) {
  let hash = 2166136261;
  for (const unit of theme) {
    hash ^= unit.codePointAt(0);
    hash = Math.imul(hash, 16777619) >>> 0;
  }
  return (hash >>> 16) % 360;
}

const dateOf = (iso) => (iso ? iso.slice(0, 10) : 'no date');

// A flag as a hanging banner: the theme's colour, its initial on an emblem, one mark per level,
// the season on the top band and the acquisition date below the tail.
function bannerSvg(flag) {
  const hue = themeHue(flag.theme || '');
  const base = `hsl(${hue} 52% 38%)`;
  const light = `hsl(${hue} 70% 84%)`;
  const dark = `hsl(${hue} 45% 24%)`;
  const level = Number.parseInt(flag.level, 10) || 0;
  const picture = svg('svg', { viewBox: '0 0 80 124', role: 'img',
    'aria-label': `${flag.theme} level ${flag.level}, season ${flag.seasonId}` });
  picture.append(
    svg('rect', { x: 2, y: 2, width: 76, height: 5, rx: 2.5, fill: '#6b5843' }),
    svg('path', { d: 'M10 7H70V98L40 86L10 98Z', fill: base, stroke: dark, 'stroke-width': 2 }),
    svg('rect', { x: 11, y: 8, width: 58, height: 14, fill: dark }),
    svg('text', { x: 40, y: 19, 'text-anchor': 'middle', 'font-size': 10, 'font-weight': 700,
      fill: light, class: 'season-text' }, 'S' + flag.seasonId),
    svg('circle', { cx: 40, cy: 42, r: 14, fill: light, stroke: dark, 'stroke-width': 1.5 }),
    svg('text', { x: 40, y: 48, 'text-anchor': 'middle', 'font-size': 16, 'font-weight': 700,
      fill: dark }, (flag.theme || '?').slice(0, 1).toUpperCase()));
  // Up to five diamonds; beyond that one diamond and the number.
  const marks = level > 5 ? 1 : level;
  const start = 40 - (marks - 1) * 6;
  for (let i = 0; i < marks; ++i) {
    const x = start + i * 12;
    picture.append(svg('path', { d: `M${x} 63L${x + 4.5} 68L${x} 73L${x - 4.5} 68Z`, fill: light,
      class: 'level-mark' }));
  }
  if (level > 5) {
    picture.append(svg('text', { x: 52, y: 72, 'text-anchor': 'middle', 'font-size': 10,
      'font-weight': 700, fill: light }, '×' + level));
  }
  picture.append(svg('text', { x: 40, y: 116, 'text-anchor': 'middle', 'font-size': 9.5,
    fill: '#5f6b7a', class: 'date-text' }, dateOf(flag.earnedDateIso8601)));
  return picture;
}

const sameFlag = (a, b) => !!a && !!b && a.theme === b.theme && a.level === b.level &&
  a.seasonId === b.seasonId;

function showMessage(text, isError) {
  const message = $('message');
  message.textContent = text;
  message.classList.toggle('error', isError);
  message.hidden = false;
}

async function equip(flag) {
  const answer = await call('PUT', paths.equipped, flag);
  if (answer.ok) {
    const got = answer.value;
    showMessage(`Equipped ${got.theme} level ${got.level} of season ${got.seasonId}.`, false);
  } else {
    showMessage(answer.error, true);
  }
  refresh();
}

function renderFlags(flags, equipped) {
  const holder = $('flags');
  holder.replaceChildren();
  if (!flags.ok) {
    holder.append(element('p', { class: 'error-text', text: flags.error }));
    return;
  }
  if (flags.value.length === 0) {
    holder.append(element('p', { class: 'note', text: 'The sondar owns no flag.' }));
    return;
  }
  // The route's order is kept: seasons appear as they first come, flags as they are listed.
  let group = null;
  for (const flag of flags.value) {
    if (!group || group.season !== flag.seasonId) {
      const row = element('div', { class: 'season-row' });
      const section = element('section', { class: 'season-group', 'data-season': flag.seasonId },
        [element('h3', { text: 'Season ' + flag.seasonId }), row]);
      holder.append(section);
      group = { season: flag.seasonId, row };
    }
    const isEquipped = equipped.ok && sameFlag(flag, equipped.value);
    const button = element('button', {
      type: 'button', class: 'flag' + (isEquipped ? ' equipped' : ''),
      'data-theme': flag.theme, 'data-level': flag.level, 'data-season': flag.seasonId,
      'aria-pressed': isEquipped ? 'true' : 'false',
      title: `Equip ${flag.theme} level ${flag.level} (acquired ${flag.earnedDateIso8601 || '?'})`,
    }, [bannerSvg(flag), element('span', { class: 'name', text: flag.theme }),
      element('span', { class: 'sub', text: 'Level ' + flag.level })]);
    if (isEquipped) button.append(element('span', { class: 'badge', text: 'Equipped' }));
    button.addEventListener('click', () => equip(flag));
    group.row.append(button);
  }
}

function renderSummary(equipped, frame, equipSwitch) {
  const view = $('equipped');
  view.replaceChildren();
  if (equipped.ok) {
    const flag = equipped.value;
    view.append(bannerSvg(flag));
    $('equipped-text').textContent = `${flag.theme}, level ${flag.level}, season ${flag.seasonId}`;
    $('equipped-text').className = '';
    // The route then answers the default flag whatever the profile holds.
    if (!(equipSwitch.ok && equipSwitch.value === true)) {
      $('equipped-text').append(element('span', { class: 'aside',
        text: 'the default flag: equipping is not enabled' }));
    }
  } else {
    $('equipped-text').textContent = equipped.error;
    $('equipped-text').className = 'error-text';
  }
  $('frame').textContent = frame.ok ? 'level ' + frame.value.level : frame.error;
  $('frame').className = frame.ok ? '' : 'error-text';
}

function renderConfiguration(equipSwitch, season) {
  // The season box is left alone while it has the focus, so a redraw does not undo typing.
  $('equip-enabled').checked = equipSwitch.ok && equipSwitch.value === true;
  const seasonText = season.ok ? String(season.value) : '';
  if (document.activeElement !== $('season')) $('season').value = seasonText;
  const notes = [];
  if (!equipSwitch.ok) notes.push('IsEquipEnabled: ' + equipSwitch.error);
  else if (typeof equipSwitch.value !== 'boolean') {
    notes.push('IsEquipEnabled is ' + JSON.stringify(equipSwitch.value) + ', which is not true');
  }
  if (!season.ok) notes.push('currentSeason: ' + season.error);
  $('config-note').textContent = notes.join('; ');
}

// The rows of the failure switches, made once; a redraw only sets their values.
function buildFailures() {
  const holder = $('failures');
  for (const peer of peers) {
    const box = element('input', { type: 'checkbox', id: 'fail-' + peer });
    const status = element('input', { type: 'number', id: 'fail-' + peer + '-status', min: 100,
      max: 599, value: 500, 'aria-label': peer + ' status' });
    const message = element('input', { type: 'text', id: 'fail-' + peer + '-message',
      value: peer + ' is down', 'aria-label': peer + ' message' });
    const row = element('div', { class: 'failure', 'data-peer': peer }, [
      element('label', {}, [box, element('span', { text: peer })]), status, message]);
    const apply = async () => {
      const answer = box.checked
        ? await call('PUT', paths.failures + peer,
          { status: Number.parseInt(status.value, 10) || 500, message: message.value })
        : await call('DELETE', paths.failures + peer);
      if (!answer.ok) showMessage(answer.error, true);
      refresh();
    };
    box.addEventListener('change', apply);
    status.addEventListener('change', () => box.checked && apply());
    message.addEventListener('change', () => box.checked && apply());
    holder.append(row);
  }
}

function renderFailures(answers) {
  peers.forEach((peer, i) => {
    const answer = answers[i];
    const row = document.querySelector(`.failure[data-peer="${peer}"]`);
    $('fail-' + peer).checked = answer.ok;
    row.classList.toggle('on', answer.ok);
    if (answer.ok && !row.contains(document.activeElement)) {
      $('fail-' + peer + '-status').value = answer.value.status;
      $('fail-' + peer + '-message').value = answer.value.message;
    }
  });
}

// Asks everything afresh; an older redraw that answers late is dropped.
let generation = 0;
async function refresh() {
  const mine = ++generation;
  const [flags, equipped, frame, equipSwitch, season, ...failures] = await Promise.all([
    call('GET', paths.flags), call('GET', paths.equipped), call('GET', paths.frame),
    call('GET', paths.equipSwitch), call('GET', paths.season),
    ...peers.map((peer) => call('GET', paths.failures + peer))]);
  if (mine !== generation) return;
  renderFlags(flags, equipped);
  renderSummary(equipped, frame, equipSwitch);
  renderConfiguration(equipSwitch, season);
  renderFailures(failures);
  document.body.dataset.renders = String(Number(document.body.dataset.renders) + 1);
}

// Several events come together (the plugin announces an equip twice): one redraw for them.
let pending = null;
function refreshSoon() {
  clearTimeout(pending);
  pending = setTimeout(refresh, 30);
}

function follow() {
  const source = new EventSource(paths.events);
  const live = (on) => {
    document.body.dataset.live = on ? 'yes' : 'no';
    $('live').textContent = on ? 'live' : 'reconnecting';
  };
  source.addEventListener('open', () => {
    live(true);
    refreshSoon(); // what changed while the stream was down
  });
  source.addEventListener('error', () => live(false));
  for (const name of redrawEvents) source.addEventListener(name, refreshSoon);
}

async function setConfiguration(method, path, value) {
  const answer = await call(method, path, value);
  if (!answer.ok) showMessage(answer.error, true);
  refresh();
}

function wire() {
  $('equip-enabled').addEventListener('change', (event) =>
    setConfiguration('PUT', paths.equipSwitch, event.target.checked));
  $('season-set').addEventListener('click', () => {
    const value = Number.parseInt($('season').value, 10);
    if (Number.isNaN(value)) {
      showMessage('Type a season number first', true);
      return;
    }
    setConfiguration('PUT', paths.season, value);
  });
  $('season').addEventListener('keydown', (event) => {
    if (event.key === 'Enter') $('season-set').click();
  });
  $('season-unset').addEventListener('click', () => setConfiguration('DELETE', paths.season));
}

buildFailures();
wire();
refresh();
follow();
