// TypedRouteHandler: a RouteHandler around a plugin's function, with its signature read at compile
// time.
//
// Accepted shapes, each answering a HandlerResponse<R> (R may be void):
//   HandlerResponse<R> (Self::*)(Args...)            a member function of the plugin
//   HandlerResponse<R> (*)(Self&, Args...)           a free function
//   [](Self& plugin, Args...) -> HandlerResponse<R>  a lambda or other function object
// Args may begin with `const RequestInfo&` or `const RequestInfo*`; the others are the bound
// arguments in declaration order, taken by value or const reference. A `std::optional<T>`
// argument is optional: an empty value leaves it empty instead of failing as required. Any other
// shape, and an argument or answer of an unsupported type, fails to compile with a static_assert
// that names the problem (checkRouteFunction).
#pragma once

#include "binding/native_binding.h"
#include "plugin/handler_response.h"
#include "plugin/route_handler.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

namespace tav {

// What makes a function unusable as a route's function; None when it is usable.
enum class RouteFunctionProblem {
  None,
  NotAFunction,
  NotHandlerResponse,
  AnswerType,
  RequestInfoNotFirst,
  OutParameter,
  ArgumentType,
};

namespace handler_detail {

template <typename... Ts> struct TypeList {};

template <typename R> struct ResponseOf;
template <typename T> struct ResponseOf<HandlerResponse<T>> { using Value = T; };

template <typename Self, typename R, typename... A> struct SignatureOf {
  using Plugin = Self;
  using Response = R;
  using Params = TypeList<A...>;
};

// Empty for anything that is not one of the accepted shapes, so that routeFunctionProblem can
// tell.
template <typename F> struct Signature {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...)> : SignatureOf<C, R, A...> {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) const> : SignatureOf<C, R, A...> {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) noexcept> : SignatureOf<C, R, A...> {};
template <typename C, typename R, typename... A>
struct Signature<R (C::*)(A...) const noexcept> : SignatureOf<C, R, A...> {};
template <typename S, typename R, typename... A>
struct Signature<R (*)(S&, A...)> : SignatureOf<S, R, A...> {};
template <typename S, typename R, typename... A>
struct Signature<R (*)(S&, A...) noexcept> : SignatureOf<S, R, A...> {};

// A function object's call operator names the function object as its class; the plugin is its
// first parameter.
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...) const);
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...));
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...) const noexcept);
template <typename L, typename R, typename S, typename... A>
SignatureOf<S, R, A...> objectSignature(R (L::*)(S&, A...) noexcept);

template <typename F> struct CallableSignature : Signature<F> {};
template <typename F>
requires requires {
  objectSignature(&F::operator());
}
struct CallableSignature<F> : decltype(objectSignature(&F::operator())) {};

// The class a route's function takes first.
template <typename Fn> using PluginOf = std::remove_cv_t<typename CallableSignature<Fn>::Plugin>;

template <typename R> inline constexpr bool kHandlerResponse = false;
template <typename T> inline constexpr bool kHandlerResponse<HandlerResponse<T>> = true;

enum class InfoForm { None, Reference, Pointer };

// Splits a leading request-info parameter off the bound arguments.
template <typename Params> struct SplitInfo {
  static constexpr InfoForm kForm = InfoForm::None;
  using Bound = Params;
};
template <typename... A> struct SplitInfo<TypeList<const RequestInfo&, A...>> {
  static constexpr InfoForm kForm = InfoForm::Reference;
  using Bound = TypeList<A...>;
};
template <typename... A> struct SplitInfo<TypeList<const RequestInfo*, A...>> {
  static constexpr InfoForm kForm = InfoForm::Pointer;
  using Bound = TypeList<A...>;
};

template <typename A> struct BoundType { using Type = std::remove_cvref_t<A>; };
template <typename T> struct BoundType<std::optional<T>> { using Type = T; };
template <typename T> struct BoundType<const std::optional<T>&> { using Type = T; };

template <typename A>
inline constexpr bool kRequestInfoParameter =
    std::is_same_v<std::remove_cvref_t<A>, RequestInfo> ||
    std::is_same_v<std::remove_cvref_t<A>, const RequestInfo*> ||
    std::is_same_v<std::remove_cvref_t<A>, RequestInfo*>;

template <typename A>
inline constexpr bool kOutParameter = std::is_rvalue_reference_v<A> ||
                                      (std::is_lvalue_reference_v<A> &&
                                       !std::is_const_v<std::remove_reference_t<A>>);

template <typename A> constexpr RouteFunctionProblem parameterProblem() {
  if constexpr (kRequestInfoParameter<A>) {
    return RouteFunctionProblem::RequestInfoNotFirst;
  } else if constexpr (kOutParameter<A>) {
    return RouteFunctionProblem::OutParameter;
  } else if constexpr (!kSupportedNativeType<typename BoundType<A>::Type>) {
    return RouteFunctionProblem::ArgumentType;
  } else {
    return RouteFunctionProblem::None;
  }
}

template <typename... A> constexpr RouteFunctionProblem parametersProblem(TypeList<A...>) {
  RouteFunctionProblem problem = RouteFunctionProblem::None;
  static_cast<void>(
      ((problem = parameterProblem<A>(), problem == RouteFunctionProblem::None) && ...));
  return problem;
}

// The first thing wrong with Fn as a route's function, in the order a reader would check.
template <typename Fn> constexpr RouteFunctionProblem routeFunctionProblem() {
  using S = CallableSignature<Fn>;
  if constexpr (!requires { typename S::Plugin; }) {
    return RouteFunctionProblem::NotAFunction;
  } else if constexpr (!kHandlerResponse<typename S::Response>) {
    return RouteFunctionProblem::NotHandlerResponse;
  } else if constexpr (!std::is_void_v<typename ResponseOf<typename S::Response>::Value> &&
                       !kSupportedNativeType<typename ResponseOf<typename S::Response>::Value>) {
    return RouteFunctionProblem::AnswerType;
  } else {
    return parametersProblem(typename SplitInfo<typename S::Params>::Bound{});
  }
}

// One static_assert per problem, so that exactly one fires and its message is the reason.
template <typename Fn, RouteFunctionProblem kProblem = routeFunctionProblem<Fn>()>
constexpr bool checkRouteFunction() {
  using P = RouteFunctionProblem;
  static_assert(kProblem != P::NotAFunction,
                "a route's function must be a member function of the plugin, or a free function "
                "or non-generic lambda whose first parameter is the plugin (Self&)");
  static_assert(kProblem != P::NotHandlerResponse,
                "a route's function must return HandlerResponse<T> (HandlerResponse<void> for "
                "no value)");
  static_assert(kProblem != P::AnswerType,
                "unsupported type T in the route's HandlerResponse<T>: use bool, a number, "
                "std::string, BindingProperty, a registered enum or struct, or a std::vector of "
                "them");
  static_assert(kProblem != P::RequestInfoNotFirst,
                "a route's request info must be its first argument, as const RequestInfo& or "
                "const RequestInfo*");
  static_assert(kProblem != P::OutParameter,
                "a route's arguments are taken by value or by const reference");
  static_assert(kProblem != P::ArgumentType,
                "unsupported route argument type: use bool, a number, std::string, "
                "BindingProperty, a registered enum or struct, a std::vector of them, or "
                "std::optional of one");
  return kProblem == P::None;
}

// How one bound argument is read and described.
template <typename T> struct ArgumentReader {
  static constexpr bool kOptional = false;
  static BindingTypeRef typeRef(const BindingTypeRegistry& registry) {
    return nativeTypeRef<T>(registry);
  }
  static void read(BindingResult& result, T& out, const BindingProperty& input,
                   std::string_view name, const BindingTypeRegistry& registry) {
    fromValue(result, out, input, name, registry);
  }
};
template <typename T> struct ArgumentReader<std::optional<T>> {
  static constexpr bool kOptional = true;
  static BindingTypeRef typeRef(const BindingTypeRegistry& registry) {
    return nativeTypeRef<T>(registry);
  }
  static void read(BindingResult& result, std::optional<T>& out, const BindingProperty& input,
                   std::string_view name, const BindingTypeRegistry& registry) {
    out.reset();
    if (input.isEmpty()) {
      return;
    }
    T value{};
    if (fromValue(result, value, input, name, registry)) {
      out = std::move(value);
    }
  }
};

template <typename Bound> struct ArgumentPack;
template <typename... A> struct ArgumentPack<TypeList<A...>> {
  using Tuple = std::tuple<std::remove_cvref_t<A>...>;
  static constexpr size_t kCount = sizeof...(A);

  // Argument slots and the return type of the function, so the API description shows them.
  static void describe(BindingFunctionDescriptor& function, const BindingTypeRegistry& registry) {
    describeAt(function, registry, std::index_sequence_for<A...>{});
  }

  template <size_t... I>
  static void describeAt(BindingFunctionDescriptor& function, const BindingTypeRegistry& registry,
                         std::index_sequence<I...>) {
    (function.setArgument(I, ArgumentReader<std::remove_cvref_t<A>>::typeRef(registry),
                          ArgumentReader<std::remove_cvref_t<A>>::kOptional),
     ...);
  }

  static void read(BindingResult& result, Tuple& pack, std::span<BindingProperty> values,
                   const BindingFunctionDescriptor* function, const BindingTypeRegistry& registry) {
    readAt(result, pack, values, function, registry, std::index_sequence_for<A...>{});
  }

  template <size_t... I>
  static void readAt(BindingResult& result, Tuple& pack, std::span<BindingProperty> values,
                     const BindingFunctionDescriptor* function, const BindingTypeRegistry& registry,
                     std::index_sequence<I...>) {
    // Left to right, so the first argument that fails names the error.
    (readOne<I>(result, pack, values, function, registry), ...);
  }

  template <size_t I>
  static void readOne(BindingResult& result, Tuple& pack, std::span<BindingProperty> values,
                      const BindingFunctionDescriptor* function,
                      const BindingTypeRegistry& registry) {
    if (!result.ok()) {
      return;
    }
    using Native = std::tuple_element_t<I, Tuple>;
    const BindingProperty& input = I < values.size() ? values[I] : BindingProperty::emptyValue();
    std::string_view name;
    if (function != nullptr && I < function->arguments.size()) {
      name = function->arguments[I].name;
    }
    ArgumentReader<Native>::read(result, std::get<I>(pack), input, name, registry);
  }
};

} // namespace handler_detail

template <typename Fn> class TypedRouteHandler final : public RouteHandler {
  using Signature = handler_detail::CallableSignature<Fn>;
  using Self = typename Signature::Plugin;
  using Response = typename Signature::Response;
  using Value = typename handler_detail::ResponseOf<Response>::Value;
  using Split = handler_detail::SplitInfo<typename Signature::Params>;
  using Pack = handler_detail::ArgumentPack<typename Split::Bound>;
  using Tuple = typename Pack::Tuple;

public:
  TypedRouteHandler(Self& plugin, const BindingTypeRegistry& registry, Fn fn)
      : plugin_(&plugin), registry_(&registry), fn_(std::move(fn)) {}

  // Writes the argument types and the return type of Fn into function.
  static void describe(BindingFunctionDescriptor& function, const BindingTypeRegistry& registry) {
    Pack::describe(function, registry);
    if constexpr (std::is_void_v<Value>) {
      function.returns = BindingTypeRef{};
    } else {
      function.returns = nativeTypeRef<Value>(registry);
    }
  }

  void* prepare(CallResult& result, std::span<BindingProperty> arguments, uint32_t) override {
    if constexpr (Pack::kCount == 0) {
      return nullptr;
    } else {
      auto pack = std::make_unique<Tuple>();
      Pack::read(result.value, *pack, arguments, function_, *registry_);
      return pack.release();
    }
  }

  void invoke(CallResult& result, const RequestInfo* info, void* token, uint32_t) override {
    if (Pack::kCount != 0 && token == nullptr) {
      // Only a pack from prepare carries the arguments; without one the function cannot run.
      result.value.setError(kInternalServerErrorMessage);
      result.status = 500;
      return;
    }
    Response response =
        call(info, static_cast<Tuple*>(token), std::make_index_sequence<Pack::kCount>{});
    fill(result, response);
  }

  void release(void* token) noexcept override { delete static_cast<Tuple*>(token); }

  const void* target() const override { return &fn_; }

  const StaticTypeId& requestInfoType() const override {
    if constexpr (Split::kForm == handler_detail::InfoForm::Reference) {
      return typeId<RequestInfo>();
    } else if constexpr (Split::kForm == handler_detail::InfoForm::Pointer) {
      return typeId<const RequestInfo*>();
    } else {
      return noPayloadTypeId();
    }
  }

private:
  template <size_t... I>
  Response call(const RequestInfo* info, Tuple* pack, std::index_sequence<I...>) {
    if constexpr (Split::kForm == handler_detail::InfoForm::Reference) {
      // The call entry builds an info whenever requestInfoType asks for one.
      static const RequestInfo kNoInfo;
      return std::invoke(fn_, *plugin_, info != nullptr ? *info : kNoInfo, std::get<I>(*pack)...);
    } else if constexpr (Split::kForm == handler_detail::InfoForm::Pointer) {
      return std::invoke(fn_, *plugin_, info, std::get<I>(*pack)...);
    } else {
      (void)info;
      (void)pack;
      return std::invoke(fn_, *plugin_, std::get<I>(*pack)...);
    }
  }

  void fill(CallResult& result, Response& response) {
    if (!response.ok) {
      result.value.setError(response.message);
    } else if constexpr (!std::is_void_v<Value>) {
      // Straight to the host's record when every converter on the way can; the value tree is
      // the general path, and the one that reports conversion failures.
      if (!result.packed.build(response.value, *registry_)) {
        BindingResult converted = toValue(response.value, *registry_);
        if (converted.ok()) {
          result.value = std::move(converted);
        } else {
          result.value.setError(converted.errorMessage());
        }
      }
    }
    result.contentFlag = response.contentFlag;
    result.bodyFormat = response.bodyFormat;
    result.status = response.status;
    result.text = std::move(response.text);
    result.headers = std::move(response.headers);
    result.stream = std::move(response.stream);
  }

  Self* plugin_;
  const BindingTypeRegistry* registry_;
  Fn fn_;
};

} // namespace tav
