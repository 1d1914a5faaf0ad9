'use strict';
// What every store page shares: the game list, the download request Lumo reads, and the
// cards. Addresses are built from this page's own origin, so the store works on any port.
var Store = (function () {
  function absolute(path) {
    return location.origin + path;
  }

  // Each game's page has an address of its own. The query form is the one Lumo builds for a
  // game added from disk, and keeps its meaning: the same page, about the game named.
  function detailUrl(name) {
    return absolute('/games/' + encodeURIComponent(name) + '.html');
  }

  function wantedPackage() {
    var asked = new URLSearchParams(location.search).get('packagename');
    if (asked) return asked;
    var page = /^\/games\/([^\/]+)\.html$/.exec(location.pathname);
    return page ? decodeURIComponent(page[1]) : null;
  }

  function sizeText(bytes) {
    return (bytes / 1048576).toFixed(1) + ' MB';
  }

  function request(game) {
    return JSON.stringify({
      packageName: game.packageName,
      appName: game.appName,
      imageUrl: absolute(game.image),
      apkUrl: absolute(game.apk),
      detailUrl: detailUrl(game.packageName),
      size: game.size,
      sha256: game.sha256
    });
  }

  function toast(text) {
    var box = document.createElement('div');
    box.className = 'toast';
    box.textContent = text;
    document.body.appendChild(box);
    setTimeout(function () { box.remove(); }, 2600);
  }

  // Outside Lumo the page has no bridge; it says so instead of failing silently.
  function callLumo(method, argument) {
    var external = window.external;
    if (external && typeof external[method] === 'function') external[method](argument);
    else toast('请在 Lumo 中打开本页');
  }

  function download(game) {
    callLumo('downloadClicked', request(game));
  }

  function cloud(game) {
    callLumo('cloudClicked',
             absolute('/cloud.html?packagename=' + encodeURIComponent(game.packageName)));
  }

  function element(tag, className, text) {
    var node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined) node.textContent = text;
    return node;
  }

  function icon(game) {
    var image = element('img', 'icon');
    image.alt = game.appName;
    image.src = absolute(game.image);
    image.onerror = function () {
      var stand = element('div', 'icon missing', game.appName.charAt(0));
      stand.setAttribute('role', 'img');
      stand.setAttribute('aria-label', game.appName);
      image.replaceWith(stand);
    };
    return image;
  }

  function button(kind, text, game, onClick) {
    var node = element('button', kind, text);
    node.type = 'button';
    node.setAttribute('aria-label', text + ' ' + game.appName);
    node.addEventListener('click', function () { onClick(game); });
    return node;
  }

  // What Lumo says of its games, by package name: Lumo raises "lumo-games" with all of them
  // once the page is loaded and again whenever one changes. A game it leaves out it does not
  // have. Outside Lumo nothing is said and every game offers its download.
  var states = new Map();
  var downloadButtons = [];

  function stateText(state) {
    var percent = Math.floor(Number(state.percent) || 0) + '%';
    switch (state.state) {
      case 'queued': return '等待下载';
      case 'downloading': return '下载中 ' + percent;
      case 'paused': return '已暂停 ' + percent;
      case 'downloadFailed': return '下载失败';
      case 'waitingInstall':
      case 'installing': return '安装中';
      case 'installed': return '已安装 · 启动';
      case 'installFailed': return '安装失败 · 重新下载';
      case 'deleting': return '删除中';
      default: return '下载';
    }
  }

  // The same button asks Lumo for the game in every state: Lumo starts an installed game
  // instead of downloading it again.
  function paint(entry) {
    var state = states.get(entry.game.packageName);
    var text = state ? stateText(state) : '下载';
    entry.node.textContent = text;
    entry.node.setAttribute('aria-label', text + ' ' + entry.game.appName);
    entry.node.className = 'download' + (state ? ' ' + state.state : '');
    var percent = state && state.state === 'downloading' ? Number(state.percent) || 0 : -1;
    entry.node.style.setProperty('--done', percent < 0 ? '' : percent + '%');
  }

  window.addEventListener('lumo-games', function (event) {
    var games;
    try {
      games = JSON.parse(event.detail).games;
    } catch (e) {
      return;
    }
    if (!Array.isArray(games)) return;
    states = new Map();
    games.forEach(function (g) {
      if (g && typeof g.packageName === 'string') states.set(g.packageName, g);
    });
    downloadButtons = downloadButtons.filter(function (entry) { return entry.node.isConnected; });
    downloadButtons.forEach(paint);
  });

  function actions(game) {
    var row = element('div', 'actions');
    var entry = { game: game, node: button('download', '下载', game, download) };
    downloadButtons.push(entry);
    paint(entry);
    row.appendChild(entry.node);
    row.appendChild(button('cloud', '云玩', game, cloud));
    return row;
  }

  function card(game) {
    var box = element('section', 'card');
    var head = element('a', 'head');
    head.href = detailUrl(game.packageName);
    head.appendChild(icon(game));
    var text = element('div');
    text.appendChild(element('div', 'name', game.appName));
    text.appendChild(element('div', 'meta', game.category + ' · ' + sizeText(game.size)));
    head.appendChild(text);
    box.appendChild(head);
    box.appendChild(actions(game));
    return box;
  }

  function loadGames() {
    return fetch('/games.json', { cache: 'no-cache' })
      .then(function (response) {
        if (!response.ok) throw new Error(response.status);
        return response.json();
      })
      .then(function (list) { return list.games; });
  }

  function showMessage(target, text) {
    target.replaceChildren(element('p', 'message', text));
  }

  return {
    actions: actions, card: card, element: element, icon: icon, loadGames: loadGames,
    showMessage: showMessage, sizeText: sizeText, wantedPackage: wantedPackage
  };
})();
