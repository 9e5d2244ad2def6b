// The catalogue pages' own script. It talks to the add-on as the catalogue's pages do: through
// the message handler "interOp" (webkit.messageHandlers.interOp.postMessage) or, in the legacy
// web view, through the functions of "external"; the add-on answers by running FakePost,
// setProgress and the property-cloud callbacks defined here.
//
// What the user chooses comes from the page's query or, without it, from the service's
// setting "pageChoices" (read with the catalogue from /_control/catalogue):
//   download       a product id, an object of the fields to hand over, or a list of these
//                  taken one per hand-over (product lists, product and manufacturer pages)
//   productUpdate  "latest" (every product the catalogue has in a newer edition) or the
//                  choice text itself ("GUID,edition,true;...")
//   kdpcUpdate     "latest" (every cloud the catalogue has in a newer edition) or the text
//   cloudActions   a list such as ["attach 15", "unlink 15", "link 15"]
// Without a choice the page waits for the user.
//
// While the page works by itself its root element carries "data-busy"; the simulated host
// waits for it to go. What the page receives and does it also tells the simulated host
// (webkit.messageHandlers.devhost), which writes it into its transcript.
(function () {
    'use strict';

    var root = document.documentElement;
    root.setAttribute('data-busy', '');

    var handlers = (window.webkit && window.webkit.messageHandlers) || {};
    var legacy = !handlers.interOp;
    var received = [];
    var waiting = [];

    function report(text) {
        if (handlers.devhost)
            handlers.devhost.postMessage(String(text));
    }

    function done() {
        root.removeAttribute('data-busy');
    }

    function list(id) {
        var element = document.getElementById(id);
        if (!element) {
            element = document.createElement('ul');
            element.id = id;
            document.body.appendChild(element);
        }
        return element;
    }

    function show(text, id) {
        var item = document.createElement('li');
        item.textContent = text;
        list(id || 'calls').appendChild(item);
    }

    function post(body) {
        handlers.interOp.postMessage(body);
    }

    // The next thing the add-on hands over: [kind, values...].
    function next() {
        if (received.length > 0)
            return Promise.resolve(received.shift());
        return new Promise(function (resolve) { waiting.push(resolve); });
    }

    function receive(entry) {
        if (waiting.length > 0)
            waiting.shift()(entry);
        else
            received.push(entry);
    }

    window.FakePost = function (text) {
        report('FakePost ' + JSON.stringify(text));
        show('FakePost ' + text);
        receive(['FakePost', text]);
    };

    var lastProgress = null;
    window.setProgress = function (percent) {
        var element = document.getElementById('progress');
        if (element)
            element.textContent = String(percent);
        if (percent !== lastProgress)
            report('setProgress ' + JSON.stringify(percent));
        lastProgress = percent;
    };

    function callback(name) {
        return function (cloudId, result) {
            report(name + ' ' + cloudId + ' ' + result);
            show(name + ' ' + cloudId + ' ' + result, 'clouds-done');
            receive([name, cloudId, result]);
        };
    }
    window.AddKDPC_callback = callback('AddKDPC_callback');
    window.LinkKDPC_callback = callback('LinkKDPC_callback');
    window.UnlinkKDPC_callback = callback('UnlinkKDPC_callback');

    function catalogue() {
        return fetch('/_control/catalogue', { cache: 'no-store' })
            .then(function (reply) { return reply.json(); })
            .catch(function () { return {}; });
    }

    // The user's choice `name`: the page's query first, then the service's setting.
    function choice(name, data) {
        var query = new URLSearchParams(location.search);
        if (query.has(name))
            return query.get(name);
        var choices = data.pageChoices || {};
        return choices[name];
    }

    // The list the add-on hands over: asked for in the message handler's way, pushed by the
    // legacy window when the page has loaded.
    function information(functionName) {
        if (!legacy)
            post({ functionName: functionName });
        return next().then(function (entry) { return entry[1]; });
    }

    function records(text) {
        return text.split(';').filter(function (record) { return record !== ''; }).map(function (record) {
            return record.split(',');
        });
    }

    function productUpdate(data) {
        return information('productUpdateGetInfo').then(function (text) {
            var products = records(text);
            products.forEach(function (r) { show(r[0] + ' edition ' + r[1], 'products'); });
            var chosen = choice('productUpdate', data);
            if (chosen === undefined || chosen === null)
                return done();
            if (chosen === 'latest') {
                chosen = products.filter(function (r) {
                    var product = (data.products || []).find(function (p) { return p.guid === r[0]; });
                    return product && product.edition > Number(r[1]);
                }).map(function (r) {
                    var product = data.products.find(function (p) { return p.guid === r[0]; });
                    return r[0] + ',' + product.edition + ',true';
                }).join(';');
            }
            report('chooses ' + JSON.stringify(chosen));
            if (legacy)
                return window.external.ExtUpdateProducts(chosen);
            post({ functionName: 'productUpdateDoUpdate', items: chosen });
        });
    }

    function cloudUpdate(data) {
        return information('kdpcUpdateGetInfo').then(function (text) {
            var products = records(text);
            products.forEach(function (r) { show(r.join(' '), 'products'); });
            var chosen = choice('kdpcUpdate', data);
            if (chosen === undefined || chosen === null)
                return done();
            if (chosen === 'latest') {
                chosen = products.map(function (r) {
                    var pairs = [];
                    for (var i = 1; i + 1 < r.length; i += 2) {
                        var cloud = (data.propertyClouds || []).find(function (c) { return String(c.id) === r[i]; });
                        if (cloud && cloud.edition > Number(r[i + 1]))
                            pairs.push(r[i] + ',' + cloud.edition);
                    }
                    return pairs.length > 0 ? r[0] + ',' + pairs.join(',') + ';' : '';
                }).join('');
            }
            report('chooses ' + JSON.stringify(chosen));
            if (legacy)
                return window.external.ExtUpdateKDPC(chosen);
            post({ functionName: 'kdpcUpdateDoUpdate', items: chosen });
        });
    }

    function result(functionName) {
        return information(functionName).then(function (text) {
            var shown = [];
            JSON.parse(text).forEach(function (product) {
                if (product.clouds) {
                    product.clouds.forEach(function (cloud) {
                        shown.push(product.productguid + ' cloud ' + cloud.id + (cloud.isupdated ? ' updated' : ' not updated'));
                    });
                } else {
                    shown.push(product.productguid + (product.isupdated ? ' updated' : ' not updated'));
                }
            });
            shown.forEach(function (line) { show(line, 'results'); });
            report('shows ' + JSON.stringify(shown));
            done();
        });
    }

    var cloudCalls = {
        attach: ['addKDPC', 'ExtAddKDPC', 'AddKDPC_callback'],
        link: ['linkKDPC', 'ExtLinkKDPC', 'LinkKDPC_callback'],
        unlink: ['unlinkKDPC', 'ExtUnlinkKDPC', 'UnlinkKDPC_callback']
    };

    function cloudAction(action) {
        var words = action.trim().split(/\s+/);
        var call = cloudCalls[words[0]];
        if (!call)
            return Promise.reject(new Error('no such cloud action: ' + action));
        var id = Number(words[1]);
        if (legacy) {
            return Promise.resolve(window.external[call[1]](id)).then(function (answer) {
                report(call[1] + ' ' + id + ' gave ' + answer);
                show(words[0] + ' ' + id + ': ' + (answer >>> 0), 'clouds-done');
            });
        }
        post({ functionName: call[0], kdpcId: id });
        return next().then(function (entry) {
            if (entry[0] !== call[2])
                throw new Error('expected ' + call[2] + ', got ' + entry[0]);
        });
    }

    function clouds(data) {
        var actions = choice('cloudActions', data) || [];
        if (typeof actions === 'string')
            actions = actions.split(',');
        return actions.reduce(function (chain, action) {
            return chain.then(function () { return cloudAction(action); });
        }, Promise.resolve()).then(done);
    }

    function handOver(fields) {
        report('hands over ' + JSON.stringify(fields));
        if (legacy)
            return window.external.Execute(fields.url1, fields.filename1);
        var body = { functionName: 'download' };
        Object.keys(fields).forEach(function (key) { body[key] = fields[key]; });
        post(body);
    }

    function productFields(item) {
        return { url1: item.getAttribute('data-url1'), filename1: item.getAttribute('data-filename1') };
    }

    function downloads(data) {
        // The user may also click a product's download link.
        Array.prototype.forEach.call(document.querySelectorAll('li.product'), function (item) {
            var links = item.querySelectorAll('a');
            var link = links[links.length - 1];
            if (link)
                link.addEventListener('click', function (event) {
                    event.preventDefault();
                    handOver(productFields(item));
                });
        });
        var chosen = choice('download', data);
        if (Array.isArray(chosen)) {
            var taken = Number(localStorage.getItem('kordela.downloads') || '0');
            if (taken >= chosen.length)
                return done();
            chosen = chosen[taken];
            localStorage.setItem('kordela.downloads', String(taken + 1));
        }
        if (chosen === undefined || chosen === null)
            return done();
        if (typeof chosen === 'object')
            return handOver(chosen);
        var item = document.querySelector('li.product[data-product-id="' + String(chosen) + '"]');
        if (!item)
            return done();
        return handOver(productFields(item));
    }

    var pages = {
        '/CadApplication/ProgressDialog': function () {
            // The add-on runs the whole transfer inside this one message, answering each
            // step with setProgress, and closes the window when it has ended.
            if (!legacy)
                post({ functionName: 'downloadProgress' });
        },
        '/CadApplication/ProductUpdate': productUpdate,
        '/CadApplication/ProductUpdateResult': function () { return result('productUpdateResultGetInfo'); },
        '/CadApplication/KdpcUpdate': cloudUpdate,
        '/CadApplication/KDPCUpdateResult': function () { return result('kdpcUpdateResultGetInfo'); },
        '/KDPC/Product': clouds,
        '/Account/UserPreference': function (data) {
            // The user's account as the catalogue knows it; nothing goes to the add-on.
            var accounts = (data.apiKeys || []).map(function (entry) { return entry.user; });
            show('Signed in as ' + (accounts[0] || 'nobody'), 'account');
            report('shows the preferences of ' + JSON.stringify(accounts[0] || ''));
            done();
        }
    };

    function start() {
        var page = pages[location.pathname];
        if (!page && !document.querySelector('li.product'))
            return done();
        catalogue().then(function (data) {
            return (page || downloads)(data);
        }).catch(function (error) {
            report('error ' + error);
            show('error ' + error);
            done();
        });
    }

    if (document.readyState === 'loading')
        document.addEventListener('DOMContentLoaded', start);
    else
        start();
})();
